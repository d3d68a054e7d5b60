#include "PlatformFactory.h"

#include "ShellWords.h"
#include "gnome/GnomeInputDevices.h"
#include "gnome/GnomeWindowSystem.h"
#include "kwin/KWinWindowSystem.h"
#include "linux/ProcProcessTable.h"
#include "linux/SingleInstanceLock.h"
#include "linux/StandardInputPipe.h"
#include "linux/SyslogSystemLog.h"
#include "linux/XdgDesktopShell.h"
#include "null/NullInputDevices.h"
#include "null/NullWindowSystem.h"
#include "wayland/WaylandInputDevices.h"
#include "wayland/WaylandWindowSystem.h"
#include "x11/X11InputDevices.h"
#include "x11/X11WindowSystem.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <sys/prctl.h>

namespace Tollgate::Platform {

QString PlatformFactory::missingDisplay()
{
    // Qt would abort without one.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return QStringLiteral("no display: Tollgate's windows need a desktop session");
    return QString();
}

void PlatformFactory::useCallersConsole() { }

std::unique_ptr<SingleInstance> PlatformFactory::singleInstance()
{
    return std::make_unique<SingleInstanceLock>();
}

std::unique_ptr<StandardInput> PlatformFactory::standardInput()
{
    return std::make_unique<StandardInputPipe>();
}

bool PlatformFactory::protectProcess()
{
    // Not dumpable: /proc/PID/mem, ptrace and the descriptors in /proc/PID/fd become root's
    // alone. An exec clears it, so the programs we start are not affected.
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

std::shared_ptr<Registry> PlatformFactory::systemRegistry()
{
    return nullptr;
}

ProgramConventions PlatformFactory::programConventions()
{
    ProgramConventions conventions;
    conventions.programOf = [](const QString& commandLine) -> std::optional<QString> {
        const auto words = ShellWords::commandWords(commandLine);
        if (!words)
            return std::nullopt;
        return words->value(0);
    };
    // As the process table starts an Always Run command: a bare name from PATH.
    conventions.programExists = [](const QString& program) {
        if (program.contains(u'/')) {
            const QFileInfo info(program);
            return info.isFile() && info.isExecutable();
        }
        return !QStandardPaths::findExecutable(program).isEmpty();
    };
    return conventions;
}

std::unique_ptr<Platform> PlatformFactory::create()
{
    return create(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"),
        qEnvironmentVariable("XDG_SESSION_TYPE"));
}

std::unique_ptr<Platform> PlatformFactory::create(
    const QString& display, const QString& waylandDisplay, const QString& sessionType)
{
    QString reason;
    // Under Wayland an X server may run too, but it only sees the X clients among the
    // user's windows.
    if (!waylandDisplay.isEmpty()
        || sessionType.compare(QStringLiteral("wayland"), Qt::CaseInsensitive) == 0) {
        // libwayland's own default when the session names no display.
        const QString name = waylandDisplay.isEmpty() ? QStringLiteral("wayland-0") : waylandDisplay;
        QString error;
        if (auto connection = WaylandConnection::open(name.toLocal8Bit(), &error)) {
            if (WaylandWindowSystem::supported(*connection)) {
                // sway names a window's process through its IPC socket.
                auto windows
                    = std::make_unique<WaylandWindowSystem>(connection, qEnvironmentVariable("SWAYSOCK"));
                auto input = std::make_unique<WaylandInputDevices>(connection);
                return std::make_unique<Platform>(QStringLiteral("wayland: display %1").arg(name),
                    std::move(windows), std::move(input), std::make_unique<ProcProcessTable>(),
                    std::make_unique<XdgDesktopShell>(), std::make_unique<SyslogSystemLog>());
            }
            // KWin (KDE Plasma) lists its windows to a script of ours instead.
            QString kwinError;
            if (KWinWindowSystem::available(QDBusConnection::sessionBus(), &kwinError)) {
                auto windows = std::make_unique<KWinWindowSystem>(QDBusConnection::sessionBus());
                auto input = std::make_unique<WaylandInputDevices>(connection);
                return std::make_unique<Platform>(QStringLiteral("kwin: display %1").arg(name),
                    std::move(windows), std::move(input), std::make_unique<ProcProcessTable>(),
                    std::make_unique<XdgDesktopShell>(), std::make_unique<SyslogSystemLog>());
            }
            // GNOME Shell lists them to Tollgate's extension.
            QString gnomeError;
            // gtk_shell1 is mutter's own, which GNOME Shell runs in.
            if (GnomeWindowSystem::available(
                    QDBusConnection::sessionBus(), &gnomeError, connection->hasGlobal("gtk_shell1"))) {
                auto windows = std::make_unique<GnomeWindowSystem>(QDBusConnection::sessionBus());
                auto input = std::make_unique<GnomeInputDevices>(QDBusConnection::sessionBus());
                return std::make_unique<Platform>(QStringLiteral("gnome: display %1").arg(name),
                    std::move(windows), std::move(input), std::make_unique<ProcProcessTable>(),
                    std::make_unique<XdgDesktopShell>(), std::make_unique<SyslogSystemLog>());
            }
            reason = QStringLiteral("the Wayland compositor offers no foreign-toplevel-management, %1, and "
                                    "%2; window rules need an X11 session, a wlroots compositor, KDE "
                                    "Plasma or GNOME Shell with Tollgate's extension")
                         .arg(kwinError, gnomeError);
        } else {
            reason = QStringLiteral("%1 %2; window rules need an X11 session or a wlroots compositor")
                         .arg(error, name);
        }
    } else if (display.isEmpty()) {
        reason = QStringLiteral("no display; window rules need an X11 session");
    } else {
        QString error;
        if (auto connection = X11Connection::open(display.toLocal8Bit(), &error)) {
            auto windows = std::make_unique<X11WindowSystem>(connection);
            auto input = std::make_unique<X11InputDevices>(connection);
            return std::make_unique<Platform>(QStringLiteral("x11: display %1").arg(display),
                std::move(windows), std::move(input), std::make_unique<ProcProcessTable>(),
                std::make_unique<XdgDesktopShell>(), std::make_unique<SyslogSystemLog>());
        }
        reason = QStringLiteral("%1 %2; window rules need an X11 session").arg(error, display);
    }
    return std::make_unique<Platform>(QStringLiteral("null: %1").arg(reason),
        std::make_unique<NullWindowSystem>(reason), std::make_unique<NullInputDevices>(reason),
        std::make_unique<ProcProcessTable>(), std::make_unique<XdgDesktopShell>(),
        std::make_unique<SyslogSystemLog>());
}

} // namespace Tollgate::Platform
