#include "Platform.h"

#include "null/NullSystemLog.h"

namespace Tollgate::Platform {

Platform::Platform(QString backendName, std::unique_ptr<WindowSystem> windows,
    std::unique_ptr<InputDevices> input, std::unique_ptr<ProcessTable> processes,
    std::unique_ptr<DesktopShell> shell, std::unique_ptr<SystemLog> systemLog)
    : m_backendName(std::move(backendName))
    , m_windows(std::move(windows))
    , m_input(std::move(input))
    , m_processes(std::move(processes))
    , m_shell(std::move(shell))
    , m_systemLog(systemLog ? std::move(systemLog) : std::make_unique<NullSystemLog>())
{ }

QList<CapabilityStatus> Platform::capabilities()
{
    QList<CapabilityStatus> all = m_windows->capabilities();
    all += m_input->capabilities();
    all += m_processes->capabilities();
    const QString log = m_systemLog->destination();
    all.append({Capability::SystemLog, !log.isEmpty(),
        log.isEmpty() ? QStringLiteral("none on this platform") : log});
    return all;
}

QString capabilityName(Capability capability)
{
    switch (capability) {
    case Capability::ForegroundWindow:
        return QStringLiteral("foreground window");
    case Capability::WindowTitles:
        return QStringLiteral("window titles");
    case Capability::CloseRequests:
        return QStringLiteral("close requests");
    case Capability::TopMost:
        return QStringLiteral("topmost placement");
    case Capability::WindowProcessIds:
        return QStringLiteral("window process ids");
    case Capability::KeyActivity:
        return QStringLiteral("key activity");
    case Capability::Cursor:
        return QStringLiteral("cursor");
    case Capability::ScreenSize:
        return QStringLiteral("screen size");
    case Capability::ProcessNames:
        return QStringLiteral("process names");
    case Capability::TerminationRights:
        return QStringLiteral("termination rights");
    case Capability::WindowEvents:
        return QStringLiteral("window change events");
    case Capability::ProcessEvents:
        return QStringLiteral("process change events");
    case Capability::SystemLog:
        return QStringLiteral("system log");
    case Capability::Guard:
        return QStringLiteral("guard");
    }
    return QString();
}

} // namespace Tollgate::Platform
