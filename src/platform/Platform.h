#pragma once

#include "DesktopShell.h"
#include "InputDevices.h"
#include "ProcessTable.h"
#include "Registry.h"
#include "SystemLog.h"
#include "WindowSystem.h"

#include <memory>

namespace Tollgate::Platform {

// The services of one desktop session, chosen once at start-up (see PlatformFactory).
class Platform
{
public:
    Platform(QString backendName, std::unique_ptr<WindowSystem> windows, std::unique_ptr<InputDevices> input,
        std::unique_ptr<ProcessTable> processes, std::unique_ptr<DesktopShell> shell,
        std::unique_ptr<SystemLog> systemLog = nullptr);

    // "x11", "null" or "fake", with a note on the session after a colon when there is one.
    const QString& backendName() const { return m_backendName; }

    WindowSystem& windows() { return *m_windows; }
    InputDevices& input() { return *m_input; }
    ProcessTable& processes() { return *m_processes; }
    DesktopShell& shell() { return *m_shell; }
    // Messages go nowhere when the platform was made without a system log.
    SystemLog& systemLog() { return *m_systemLog; }

    QList<CapabilityStatus> capabilities();

    // The system's registry where it has one (Windows); null where Tollgate keeps its own
    // registry files.
    const std::shared_ptr<Registry>& systemRegistry() const { return m_systemRegistry; }
    void setSystemRegistry(std::shared_ptr<Registry> registry) { m_systemRegistry = std::move(registry); }

private:
    QString m_backendName;
    std::unique_ptr<WindowSystem> m_windows;
    std::unique_ptr<InputDevices> m_input;
    std::unique_ptr<ProcessTable> m_processes;
    std::unique_ptr<DesktopShell> m_shell;
    std::unique_ptr<SystemLog> m_systemLog;
    std::shared_ptr<Registry> m_systemRegistry;
};

} // namespace Tollgate::Platform
