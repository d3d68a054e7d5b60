#pragma once

#include "ProcessTable.h"
#include "WindowSystem.h"

namespace Tollgate::Platform {

// The process primitives of the survey: processes are found by executable name and ended
// through one of their top-level windows. Each call takes fresh snapshots.
class ProcessLookup
{
public:
    ProcessLookup(WindowSystem& windows, ProcessTable& processes);

    // The first process in snapshot order whose executable name equals the name, ignoring
    // case; 0 when there is none. No wildcards and no folders.
    ProcessId FindProcessId(const QString& name) const;
    // The topmost top-level window of the process that is not an owned pop-up; 0 for none.
    WindowId FindProcessWindow(ProcessId pid) const;
    ProcessId GetWindowProcessId(WindowId window) const;
    // Ends the process that owns the window; nothing happens for 0 or an unknown owner.
    void TerminateWindowProcess(WindowId window) const;

private:
    WindowSystem& m_windows;
    ProcessTable& m_processes;
};

} // namespace Tollgate::Platform
