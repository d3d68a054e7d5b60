#include "FakePlatform.h"

namespace Tollgate::Platform {

FakePlatform::FakePlatform()
{
    auto windows = std::make_unique<FakeWindowSystem>();
    auto input = std::make_unique<FakeInputDevices>();
    auto processes = std::make_unique<FakeProcessTable>();
    auto shell = std::make_unique<FakeDesktopShell>();
    m_windows = windows.get();
    m_input = input.get();
    m_processes = processes.get();
    m_shell = shell.get();
    auto systemLog = std::make_unique<FakeSystemLog>();
    m_systemLog = systemLog.get();
    m_processes->setTerminationHandler(
        [windows = m_windows](ProcessId pid) { windows->removeWindowsOf(pid); });
    m_platform = std::make_unique<Platform>(QStringLiteral("fake"), std::move(windows), std::move(input),
        std::move(processes), std::move(shell), std::move(systemLog));
}

} // namespace Tollgate::Platform
