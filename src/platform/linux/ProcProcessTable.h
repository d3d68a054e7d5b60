#pragma once

#include "FileDescriptor.h"
#include "LastPidWatcher.h"
#include "ProcFields.h"
#include "ProgramStartWatcher.h"
#include "platform/ProcessTable.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace Tollgate::Platform {

// Processes from /proc, in ascending pid order. Names are cached per pid and the cost of
// a snapshot follows what changed, not how many processes run. New processes come from
// the kernel's process events where we may listen to them (root or CAP_NET_ADMIN), else
// from the pids handed out since the last look: the last pid in /proc/loadavg shows the
// range, and only that range is examined, threads told apart from processes. Without
// privileges, a program start is told by the C library's opens (see ProgramStartWatcher)
// and the pids are looked at then, so that a quiet machine costs nothing between ticks; a
// start that no birth explains (`exec` in an old shell) has every exe link read, at most
// once a second. Where starts cannot be watched, the last pid is polled every
// PollIntervalMs. Exits are
// seen by re-reading young and killed processes, and by the kernel's task count: when it
// is not what the births and exits seen so far explain, /proc is listed afresh (and every
// few seconds in any case). The re-check exists because a pid keeps its number across exec (a
// wrapper that execs the real program) and across dying (a zombie is not a running
// process): young processes are re-read every YoungRereadMilliseconds (a snapshot may
// follow every birth), the rest a few at those times in turn, and the ones we killed until
// gone. The kernel's events report execs and exits too: with them only the killed ones
// are re-read. While changes are watched, births
// and execs are reported as they happen.
class ProcProcessTable : public ProcessTable
{
public:
    enum class BirthWatch {
        Best, // the kernel's process events where they can be had, else program starts
        ProgramStarts, // program starts told by the C library's opens, else polling
        Polling, // new pids from /proc/loadavg polled
    };

    explicit ProcProcessTable(
        QByteArray procRoot = QByteArrayLiteral("/proc"), BirthWatch birthWatch = BirthWatch::Best);
    ~ProcProcessTable() override;

    QList<ProcessEntry> snapshot() override;
    ProcessChanges changes() override;
    // Reads every process afresh; what snapshot() saves.
    QList<ProcessEntry> fullSnapshot();
    TerminateResult terminate(ProcessId pid) override;
    ProcessId start(const QString& commandLine) override;
    QList<CapabilityStatus> capabilities() override;

    // Where a running guard says what it does: its pid, then one line.
    static constexpr const char* GuardStatusFile = "/run/tollgate/guard-status";

    // Whether births are taken from the kernel's process events just now.
    bool usesProcessEvents() const { return m_connector.isValid(); }
    // Whether program starts are told by the opens of shared files just now.
    bool usesProgramStarts() const { return m_startWatcher != nullptr; }
    // The files whose opens tell of a program start; the C library unless set.
    void setProgramStartFiles(QList<QByteArray> files) { m_startFiles = std::move(files); }
    // Full listings of /proc so far, for tests and benchmarks.
    int listings() const { return m_listings; }
    // How often /proc is listed at least; ListingIntervalMilliseconds unless set.
    void setListingInterval(qint64 ms) { m_listingInterval = ms; }
    // How long after a listing an exit the counts cannot explain lists /proc again;
    // UnexplainedListingGapMilliseconds unless set.
    void setUnexplainedListingGap(qint64 ms) { m_unexplainedListingGap = ms; }

    // The executable name of a running process: the base name of its exe link, else of
    // argv[0] (another user's process), else its command name. No value for a zombie, a
    // kernel thread or a pid that is gone.
    std::optional<QString> readName(ProcessId pid) const;

    // How long after its first sighting a process is re-read on every snapshot.
    static constexpr qint64 YoungMilliseconds = 2000;
    // How many settled processes are re-read with the young ones; while program starts
    // are told, one with every RecheckTurnsWhileStartsTold-th re-read.
    static constexpr int RecheckPerSnapshot = 4;
    static constexpr int RecheckTurnsWhileStartsTold = 4;
    // How often the last pid is looked at while births are polled, and new processes
    // for an exec.
    static constexpr int PollIntervalMs = 4;
    // How long a new process is watched for an exec: its exe link polled while births are
    // polled, its name read again at a program start while starts are told.
    static constexpr qint64 ExecWatchMilliseconds = 25;
    // Young processes are read again at most this often; births and execs seen as they
    // happen are read at once.
    static constexpr qint64 YoungRereadMilliseconds = 50;
    // /proc is listed at least this often, whatever the counts say.
    static constexpr qint64 ListingIntervalMilliseconds = 30000;
    // A listing that is due waits for a snapshot without births or execs, at most this long.
    static constexpr qint64 ListingPostponeMilliseconds = 100;
    // Listings for exits the counts cannot explain are at least this far apart.
    static constexpr qint64 UnexplainedListingGapMilliseconds = 50;
    // Scans for a program start without a birth are at least this far apart.
    static constexpr qint64 ExecScanGapMilliseconds = 1000;
    // Threads seen born are looked for this long when tasks end unexplained, and at most
    // this many of them.
    static constexpr qint64 ThreadWatchMilliseconds = 60000;
    static constexpr size_t MaxWatchedThreads = 1024;
    // A larger jump of the last pid (or a wrap) is not examined pid by pid.
    static constexpr ProcessId MaxPidRange = 4096;

protected:
    void watchChanges(bool on) override;

private:
    struct Known
    {
        ProcessId pid = 0;
        std::optional<QString> name; // no value: not a running process
        qint64 firstSeen = 0;
    };

    using TaskCounters = ProcFields::TaskCounters;
    enum class TaskKind { Process, Thread, Missing };
    struct ExecWatch
    {
        ProcessId pid = 0;
        QByteArray exe;
        qint64 since = 0;
    };

    // Brings the table up to date; what snapshot() and changes() share.
    void refresh();
    std::vector<ProcessId> listPids() const;
    TaskCounters taskCounters();
    TaskKind taskKind(ProcessId pid) const;
    QByteArray exeLink(ProcessId pid) const;
    bool exists(ProcessId pid) const;
    // The same, and whether the process is gone (not merely no running program).
    std::optional<QString> readName(ProcessId pid, bool& gone) const;
    // Examines the pids handed out up to lastPid; true when a process was born.
    bool examineNewPids(ProcessId lastPid);
    // Forgets threads seen born that are gone, oldest first, until `missing` are found;
    // returns how many.
    qint64 reapThreads(qint64 missing);
    void pollBirths();
    void programStarted();
    // Reads the exe link of every running process, for a program start without a birth.
    void scanExecs();
    void openConnector();
    void readConnector(bool report);
    // The running processes as last returned; rebuilt only after a change, so that an
    // unchanged table hands out the same shared list.
    QList<ProcessEntry> entries();
    void setName(Known& known, std::optional<QString> name);
    void noteYoung(ProcessId pid, qint64 firstSeen);
    qint64 firstSightingTime();

    QByteArray m_procRoot;
    std::vector<Known> m_known; // ascending pid
    QList<ProcessEntry> m_entries;
    bool m_entriesStale = true;
    // Pids whose name came, changed or went since changes() was last called.
    std::set<ProcessId> m_touched;
    bool m_changesComplete = true; // changes() reports everything next time
    // Processes first seen in the last YoungMilliseconds, oldest first, so that re-reading
    // them costs what was born, not what runs. May hold pids that have gone since.
    std::deque<std::pair<qint64, ProcessId>> m_young;
    std::set<ProcessId> m_killed;
    // Threads found alive among the new pids, oldest first, so that their end explains the
    // task count without a listing. May hold threads that have gone since.
    std::deque<std::pair<qint64, ProcessId>> m_youngThreads;
    ProcessId m_nextRecheck = 0;
    int m_recheckTurn = 0;
    bool m_primed = false;
    QElapsedTimer m_clock;

    BirthWatch m_birthWatch;
    FileDescriptor m_loadavg;
    // Births and exits seen since the last snapshot, to be merged into m_known.
    std::set<ProcessId> m_born;
    std::set<ProcessId> m_dirty; // ran another program or ended: read again
    ProcessId m_lastPid = 0; // pids up to here were examined
    std::vector<std::pair<ProcessId, int>> m_unresolved; // handed out, not in /proc yet; tries left
    std::vector<ExecWatch> m_execWatch;
    qint64 m_tasksBorn = 0; // tasks found alive since the last snapshot
    qint64 m_lastTotal = -1;
    bool m_needListing = true;
    qint64 m_lastListing = 0;
    qint64 m_lastYoungReread = std::numeric_limits<qint64>::min() / 2;
    int m_listings = 0;
    qint64 m_listingInterval = ListingIntervalMilliseconds;
    qint64 m_unexplainedListingGap = UnexplainedListingGapMilliseconds;
    bool m_exitUnexplained = false; // until the next listing
    std::optional<qint64> m_listingDueSince; // a listing put off for snapshots with births
    // Births are polled on a thread of the watcher's; the timer follows up a birth (an
    // exec to come, a pid not in /proc yet) only while there is one.
    std::unique_ptr<LastPidWatcher> m_birthWatcher;
    std::unique_ptr<ProgramStartWatcher> m_startWatcher;
    QList<QByteArray> m_startFiles = ProgramStartWatcher::sharedStartFiles();
    bool m_pollingBirths = false; // births are looked for between snapshots
    bool m_execScanWanted = false;
    qint64 m_lastExecScan = std::numeric_limits<qint64>::min() / 2;
    QTimer m_pollTimer;
    FileDescriptor m_connector;
    std::unique_ptr<QSocketNotifier> m_connectorNotifier;
};

} // namespace Tollgate::Platform
