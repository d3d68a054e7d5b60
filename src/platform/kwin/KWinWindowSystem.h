#pragma once

#include "platform/ReportedWindows.h"
#include "platform/WindowSystem.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QTemporaryDir>

namespace Tollgate::Platform {

// The windows of KWin (KDE Plasma), which offers Wayland clients no list of toplevels. A
// script loaded into KWin over D-Bus reports the window list (stacking order, captions,
// processes, the active window) to an object on Tollgate's own bus connection whenever it
// changes; close and keep-above requests go to KWin as short scripts of their own. Reports
// arrive through the Qt event loop. Window ids are numbers of our own, never reused within
// a run.
class KWinWindowSystem : public QObject, public WindowSystem, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tollgate.KWinWindows")

public:
    static constexpr const char* ObjectPath = "/org/tollgate/KWinWindows";

    explicit KWinWindowSystem(const QDBusConnection& bus);
    ~KWinWindowSystem() override;

    // Whether KWin's scripting service answers on this bus; the reason in *error when not.
    static bool available(const QDBusConnection& bus, QString* error);

    WindowId foregroundWindow() override;
    QString windowTitle(WindowId window) override;
    bool postCloseRequest(WindowId window) override;
    qint32 setTopMost(WindowId window, bool onTop) override;
    QList<TopLevelWindow> topLevelWindows() override;
    ProcessId windowProcessId(WindowId window) override;
    QList<CapabilityStatus> capabilities() override;

    // Whether the script has reported at least once.
    bool hasReported() const { return m_reported; }
    // Whether KWin last reported the window in its keep-above band.
    bool keptAbove(WindowId window) const { return m_windows.keptAbove(window); }

public slots:
    // Called by the script in KWin: a JSON array of windows, topmost first. Reports from
    // anyone but KWin are ignored.
    Q_SCRIPTABLE void report(const QString& windows);

private slots:
    // KWin restarted (its windows and our script are gone) or went away.
    void onKWinOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    // Loads a script into KWin and starts it; false when KWin refused it.
    bool runScript(const QString& pluginName, const QString& source);
    // Runs one statement on the window with this KWin id (`w` in the statement).
    bool runOnWindow(WindowId window, const QString& statement);
    void unloadScript(const QString& pluginName);
    void loadReporter();

    QDBusConnection m_bus;
    QTemporaryDir m_folder;
    QString m_reporterName;
    QString m_kwinOwner; // KWin's unique bus name
    QString m_lastCommandName;
    QString m_error;
    int m_commandCount = 0;
    bool m_reported = false;
    ReportedWindows m_windows;
};

} // namespace Tollgate::Platform
