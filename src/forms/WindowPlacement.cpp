#include "WindowPlacement.h"

#include "platform/WindowSystem.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace Tollgate {

namespace {

    constexpr int RetryMs = 100;
    constexpr int Retries = 30;

    // X11's and Windows' window ids are the desktop's own. Qt's Wayland ids are numbers of
    // its own, which would name some other window of KWin's: there the window is the one the
    // desktop lists as ours with its title.
    bool placeOnTop(QWidget& window, Platform::WindowSystem& windows)
    {
        if (!QGuiApplication::platformName().startsWith(QLatin1StringView("wayland")))
            return windows.setTopMost(static_cast<Platform::WindowId>(window.winId()), true) != 0;
        Platform::OwnWindows own = ShownOwnWindows();
        own.titles = {window.windowTitle()};
        for (const Platform::TopLevelWindow& listed : windows.topLevelWindows()) {
            if (windows.windowTitle(listed.window) == own.titles.first()
                && windows.isOwnWindow(listed.window, own))
                return windows.setTopMost(listed.window, true) != 0;
        }
        return false;
    }

} // namespace

void SetTopMost(QWidget& window, Platform::WindowSystem& windows)
{
    if (placeOnTop(window, windows)
        || !QGuiApplication::platformName().startsWith(QLatin1StringView("wayland")))
        return;
    // A desktop that learns of windows through a script lists a new one a little later.
    auto* retry = new QTimer(&window);
    retry->setInterval(RetryMs);
    QObject::connect(retry, &QTimer::timeout, retry, [retry, &window, &windows, left = Retries]() mutable {
        if (--left <= 0 || !window.isVisible() || placeOnTop(window, windows))
            retry->deleteLater();
    });
    retry->start();
}

Platform::OwnWindows ShownOwnWindows()
{
    // The app id Qt gives our Wayland windows: the desktop file's name, else the program's.
    Platform::OwnWindows own;
    own.appId = QGuiApplication::desktopFileName();
    if (own.appId.endsWith(QLatin1StringView(".desktop")))
        own.appId.chop(8);
    if (own.appId.isEmpty())
        own.appId = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible())
            own.titles.append(window->title());
    }
    return own;
}

} // namespace Tollgate
