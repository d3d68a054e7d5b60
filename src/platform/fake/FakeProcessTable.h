#pragma once

#include "platform/ProcessTable.h"

#include <QSet>
#include <functional>

namespace Tollgate::Platform {

// Processes that a test sets up, with a record of kills and starts. A started command
// line runs as a new process named after its program unless starts are set to fail.
// Every process that comes or goes is reported as a change.
class FakeProcessTable : public ProcessTable
{
public:
    // Appends a process to the snapshot order; returns its id.
    ProcessId addProcess(const QString& name);
    void removeProcess(ProcessId pid);
    // The process runs another program, keeping its id.
    void renameProcess(ProcessId pid, const QString& name);
    void setTerminationPermitted(ProcessId pid, bool permitted);
    void setStartsFail(bool fail) { m_startsFail = fail; }
    // Called for every process that terminate() ends.
    void setTerminationHandler(std::function<void(ProcessId)> handler)
    {
        m_onTerminated = std::move(handler);
    }

    const QList<ProcessId>& kills() const { return m_kills; }
    const QStringList& starts() const { return m_starts; }

    QList<ProcessEntry> snapshot() override { return m_processes; }
    TerminateResult terminate(ProcessId pid) override;
    ProcessId start(const QString& commandLine) override;
    QList<CapabilityStatus> capabilities() override;

private:
    QList<ProcessEntry> m_processes;
    QSet<ProcessId> m_protected;
    ProcessId m_nextPid = 1000;
    bool m_startsFail = false;
    std::function<void(ProcessId)> m_onTerminated;
    QList<ProcessId> m_kills;
    QStringList m_starts;
};

} // namespace Tollgate::Platform
