#include "ProcessLookup.h"

namespace Tollgate::Platform {

ProcessLookup::ProcessLookup(WindowSystem& windows, ProcessTable& processes)
    : m_windows(windows)
    , m_processes(processes)
{ }

ProcessId ProcessLookup::FindProcessId(const QString& name) const
{
    // The snapshot side is lower-cased first, then both sides upper-cased: that is the
    // comparison rule sets were written against.
    const QString wanted = name.toUpper();
    for (const ProcessEntry& entry : m_processes.snapshot()) {
        if (entry.name.toLower().toUpper() == wanted)
            return entry.pid;
    }
    return 0;
}

WindowId ProcessLookup::FindProcessWindow(ProcessId pid) const
{
    if (pid == 0)
        return 0;
    for (const TopLevelWindow& window : m_windows.topLevelWindows()) {
        if (!window.ownedPopup && m_windows.windowProcessId(window.window) == pid)
            return window.window;
    }
    return 0;
}

ProcessId ProcessLookup::GetWindowProcessId(WindowId window) const
{
    return window == 0 ? 0 : m_windows.windowProcessId(window);
}

void ProcessLookup::TerminateWindowProcess(WindowId window) const
{
    if (const ProcessId pid = GetWindowProcessId(window))
        m_processes.terminate(pid);
}

} // namespace Tollgate::Platform
