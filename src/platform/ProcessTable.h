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
    // What changed since the last call, for a caller that keeps its own picture and should
    // pay for what changed rather than for what runs. snapshot() calls in between do not
    // consume changes. The first call, and any call after which the caller cannot tell the
    // order of the processes, reports them all (ProcessChanges::complete). The version
    // here compares two snapshots; a backend that knows its changes does better.
    virtual ProcessChanges changes();
    // Ends the process at once; the process gets no chance to refuse.
    virtual TerminateResult terminate(ProcessId pid) = 0;
    // Starts a command line detached, as the user would start a program. Quoting is
    // understood as a shell would, but nothing is expanded. Returns the new process id,
    // or 0 when nothing was started.
    virtual ProcessId start(const QString& commandLine) = 0;

    virtual QList<CapabilityStatus> capabilities() = 0;

private:
    QList<ProcessEntry> m_changesBase; // the last snapshot changes() compared against
    bool m_changesBaseValid = false;
};

} // namespace Tollgate::Platform
