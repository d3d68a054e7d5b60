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
    const char* const RetryName = "topMostRetry";

    bool onWayland()
    {
        return QGuiApplication::platformName().startsWith(QLatin1StringView("wayland"));
    }

    // The app id Qt gives our Wayland windows: the desktop file's name, else the program's.
    QString ownAppId()
    {
        QString appId = QGuiApplication::desktopFileName();
        if (appId.endsWith(QLatin1StringView(".desktop")))
            appId.chop(8);
        return appId.isEmpty() ? QFileInfo(QCoreApplication::applicationFilePath()).baseName() : appId;
    }

    // X11's and Windows' window ids are the desktop's own. Qt's Wayland ids are numbers of
    // its own, which would name some other window of KWin's: there the window is the one the
    // desktop lists as ours with its title. False while the desktop does not list it yet.
    bool placeOnTop(QWidget& window, Platform::WindowSystem& windows)
    {
        if (!onWayland())
            return windows.setTopMost(static_cast<Platform::WindowId>(window.winId()), true) != 0;
        const Platform::OwnWindows own {ownAppId(), {window.windowTitle()}};
        for (const Platform::TopLevelWindow& listed : windows.topLevelWindows()) {
            if (windows.windowTitle(listed.window) == own.titles.first()
                && windows.isOwnWindow(listed.window, own)) {
                // Where the desktop has no always-on-top band (wlroots) there is nothing to retry.
                windows.setTopMost(listed.window, true);
                return true;
            }
        }
        return false;
    }

} // namespace

void SetTopMost(QWidget& window, Platform::WindowSystem& windows)
{
    if (placeOnTop(window, windows) || !onWayland()
        || window.findChild<QTimer*>(QLatin1StringView(RetryName)))
        return;
    // A desktop that learns of windows through a script lists a new one a little later.
    auto* retry = new QTimer(&window);
    retry->setObjectName(QLatin1StringView(RetryName));
    retry->setInterval(RetryMs);
    QObject::connect(retry, &QTimer::timeout, retry, [retry, &window, &windows, left = Retries]() mutable {
        if (--left <= 0 || !window.isVisible() || placeOnTop(window, windows))
            retry->deleteLater();
    });
    retry->start();
}

Platform::OwnWindows ShownOwnWindows()
{
    Platform::OwnWindows own;
    own.appId = ownAppId();
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible())
            own.titles.append(window->title());
    }
    return own;
}

} // namespace Tollgate
