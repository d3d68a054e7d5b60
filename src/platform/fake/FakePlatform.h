#pragma once

#include "FakeDesktopShell.h"
#include "FakeInputDevices.h"
#include "FakeProcessTable.h"
#include "FakeSystemLog.h"
#include "FakeWindowSystem.h"
#include "platform/Platform.h"

namespace Tollgate::Platform {

// A Platform made of fakes, with the fakes at hand. Terminating a fake process closes its
// windows, as it would on a desktop.
class FakePlatform
{
public:
    FakePlatform();

    Platform& platform() { return *m_platform; }
    FakeWindowSystem& windows() { return *m_windows; }
    FakeInputDevices& input() { return *m_input; }
    FakeProcessTable& processes() { return *m_processes; }
    FakeDesktopShell& shell() { return *m_shell; }
    FakeSystemLog& systemLog() { return *m_systemLog; }

private:
    // The fakes belong to m_platform; the pointers only reach them.
    FakeWindowSystem* m_windows;
    FakeInputDevices* m_input;
    FakeProcessTable* m_processes;
    FakeDesktopShell* m_shell;
    FakeSystemLog* m_systemLog;
    std::unique_ptr<Platform> m_platform;
};

} // namespace Tollgate::Platform
