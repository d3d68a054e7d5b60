#pragma once

#include "platform/ProcessTable.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <optional>
#include <set>
#include <vector>

namespace Tollgate::Platform {

// Processes from /proc, in ascending pid order. Names are cached per pid: a snapshot
// lists the pids and reads names only for new ones, so a steady state costs one
// directory listing plus a small rolling re-check, and the listing itself is skipped
// while the kernel's task counters show that no task was created or reaped. The re-check exists because a pid
// keeps its number across exec (a wrapper that execs the real program) and across
// dying (a zombie is not a running process): young processes are re-read on every
// snapshot, the rest a few per snapshot in turn, and the ones we killed until gone.
class ProcProcessTable : public ProcessTable
{
public:
    explicit ProcProcessTable(QByteArray procRoot = QByteArrayLiteral("/proc"));

    QList<ProcessEntry> snapshot() override;
    // Reads every process afresh; what snapshot() saves.
    QList<ProcessEntry> fullSnapshot();
    TerminateResult terminate(ProcessId pid) override;
    ProcessId start(const QString& commandLine) override;
    QList<CapabilityStatus> capabilities() override;

    // The executable name of a running process: the base name of its exe link, else of
    // argv[0] (another user's process), else its command name. No value for a zombie, a
    // kernel thread or a pid that is gone.
    std::optional<QString> readName(ProcessId pid) const;

    // How long after its first sighting a process is re-read on every snapshot.
    static constexpr qint64 YoungMilliseconds = 2000;
    // How many settled processes each snapshot re-reads.
    static constexpr int RecheckPerSnapshot = 4;

private:
    struct Known
    {
        ProcessId pid = 0;
        std::optional<QString> name; // no value: not a running process
        qint64 firstSeen = 0;
    };

    std::vector<ProcessId> listPids() const;
    // The kernel's count of tasks and the last pid it handed out; unchanged between two
    // snapshots means no task was created or reaped in between.
    QByteArray taskCounters() const;
    QList<ProcessEntry> entries() const;
    qint64 firstSightingTime();

    QByteArray m_procRoot;
    std::vector<Known> m_known; // ascending pid
    std::set<ProcessId> m_killed;
    ProcessId m_nextRecheck = 0;
    QByteArray m_lastTaskCounters;
    bool m_primed = false;
    QElapsedTimer m_clock;
};

} // namespace Tollgate::Platform
