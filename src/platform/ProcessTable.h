#pragma once

#include "ChangeSource.h"
#include "PlatformTypes.h"

namespace Tollgate::Platform {

// The running processes, and starting and ending them. Reports a change when a process
// started, ran another program or ended.
class ProcessTable : public ChangeSource
{
public:
    virtual ~ProcessTable() = default;

    // Every running process in a stable order.
    virtual QList<ProcessEntry> snapshot() = 0;
    // Ends the process at once; the process gets no chance to refuse.
    virtual TerminateResult terminate(ProcessId pid) = 0;
    // Starts a command line detached, as the user would start a program. Quoting is
    // understood as a shell would, but nothing is expanded. Returns the new process id,
    // or 0 when nothing was started.
    virtual ProcessId start(const QString& commandLine) = 0;

    virtual QList<CapabilityStatus> capabilities() = 0;
};

} // namespace Tollgate::Platform
