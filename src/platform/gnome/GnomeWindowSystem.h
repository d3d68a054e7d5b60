#pragma once

#include "platform/ReportedWindows.h"
#include "platform/WindowSystem.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

namespace Tollgate::Platform {

// The windows of GNOME Shell, which shows Wayland clients no other windows. Tollgate's
// extension in the shell says when the list may have changed; the list itself, closing and
// keep-above are calls to it. Only the shell's current bus name is listened to, so another
// program cannot feed us windows. When the shell restarts, its windows are forgotten and
// the list is asked for again once the extension is back.
class GnomeWindowSystem : public QObject, public WindowSystem
{
    Q_OBJECT

public:
    static constexpr const char* ShellService = "org.gnome.Shell";
    static constexpr const char* ExtensionPath = "/org/tollgate/GnomeShell";
    static constexpr const char* ExtensionInterface = "org.tollgate.GnomeShell";
    static const QString ExtensionUuid;

    explicit GnomeWindowSystem(const QDBusConnection& bus);
    ~GnomeWindowSystem() override;

    // A signal that only the current owner of service is listened to for.
    struct ShellSignal
    {
        QString service, path, interface, name;
        const char* slot;
    };
    // Connects the receiver's slots to the signals, or disconnects them.
    static void hookSignals(
        QDBusConnection& bus, bool on, QObject* receiver, std::initializer_list<ShellSignal> hooks);

    // Whether GNOME Shell runs with Tollgate's extension enabled, enabling it for the
    // session when it is installed but off; else the reason, and what to do, in *error.
    // On mutter's Wayland display it first waits a while for a shell that is still starting.
    static bool available(const QDBusConnection& bus, QString* error, bool compositorIsMutter = false);

    WindowId foregroundWindow() override { return m_windows.active(); }
    QString windowTitle(WindowId window) override { return m_windows.title(window); }
    bool postCloseRequest(WindowId window) override;
    qint32 setTopMost(WindowId window, bool onTop) override;
    QList<TopLevelWindow> topLevelWindows() override { return m_windows.stacking(); }
    ProcessId windowProcessId(WindowId window) override { return m_windows.processId(window); }
    QList<CapabilityStatus> capabilities() override;

    // Whether the extension has listed the windows since the shell (re)started.
    bool hasReported() const { return m_reported; }
    bool keptAbove(WindowId window) const { return m_windows.keptAbove(window); }

private slots:
    void onWindowsChanged();
    void onExtensionStateChanged(const QString& uuid, const QVariantMap& state);
    void onShellOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    // Starts or stops taking the shell's signals.
    void listen(bool on);
    void startRetrying();
    // Asks for the list; a change meanwhile asks again once the answer is in.
    void requestList();
    // Sends a request about one window to the extension; whether it was carried out.
    bool callOnWindow(WindowId window, const QString& method, const QVariantList& extra);

    QDBusConnection m_bus;
    ReportedWindows m_windows;
    // While the shell (re)starts its extensions, the list is asked for again now and then.
    QTimer m_retry;
    int m_retriesLeft = 0;
    int m_generation = 0; // of the shell, so that a gone shell's answer is not taken
    QString m_error;
    bool m_requestPending = false;
    bool m_changedMeanwhile = false;
    bool m_reported = false;
};

} // namespace Tollgate::Platform
