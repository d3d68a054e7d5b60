#include "ProcProcessTable.h"

#include "FileDescriptor.h"
#include "ProcFields.h"
#include "platform/ShellWords.h"

#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/cn_proc.h>
#include <linux/connector.h>
#include <linux/netlink.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace Tollgate::Platform {

namespace {

    struct DirCloser
    {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };

} // namespace

ProcProcessTable::ProcProcessTable(QByteArray procRoot, BirthWatch birthWatch)
    : m_procRoot(std::move(procRoot))
    , m_birthWatch(birthWatch)
{
    m_clock.start();
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    m_pollTimer.setInterval(PollIntervalMs);
    QObject::connect(&m_pollTimer, &QTimer::timeout, &m_pollTimer, [this] { pollBirths(); });
}

ProcProcessTable::~ProcProcessTable() = default;

std::vector<ProcessId> ProcProcessTable::listPids() const
{
    std::vector<ProcessId> pids;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(m_procRoot.constData()));
    if (!dir)
        return pids;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (*name < '1' || *name > '9')
            continue;
        quint64 pid = 0;
        for (; *name >= '0' && *name <= '9' && pid <= INT_MAX; ++name)
            pid = pid * 10 + quint64(*name - '0');
        if (*name == '\0' && pid <= INT_MAX)
            pids.push_back(ProcessId(pid));
    }
    // /proc lists its processes in ascending order already.
    if (!std::is_sorted(pids.begin(), pids.end()))
        std::sort(pids.begin(), pids.end());
    return pids;
}

ProcProcessTable::TaskCounters ProcProcessTable::taskCounters()
{
    // Kept open, as it is read every few milliseconds.
    if (!m_loadavg.isValid())
        m_loadavg.reset(::open((m_procRoot + "/loadavg").constData(), O_RDONLY | O_CLOEXEC));
    return m_loadavg.isValid() ? ProcFields::readTaskCounters(m_loadavg.get()) : TaskCounters {};
}

ProcProcessTable::TaskKind ProcProcessTable::taskKind(ProcessId pid) const
{
    // A pidfd is had for a process only, not for one of its other threads: one call where
    // the status file costs the kernel a page of text.
    if (m_procRoot == "/proc") {
        const FileDescriptor pidfd(int(::syscall(SYS_pidfd_open, pid_t(pid), 0)));
        if (pidfd.isValid())
            return TaskKind::Process;
        if (errno == ESRCH)
            return TaskKind::Missing;
        if (errno == ENOENT || errno == EINVAL)
            return TaskKind::Thread;
    }
    // /proc/<tid> of a thread can be opened although no listing shows it; its Tgid is its
    // process's pid. The line comes early in the file.
    const QByteArray status
        = ProcFields::readSmallFile(m_procRoot + '/' + QByteArray::number(pid) + "/status", 512);
    if (status.isEmpty())
        return TaskKind::Missing;
    const qsizetype at = status.indexOf("\nTgid:");
    if (at < 0)
        return TaskKind::Process;
    const qsizetype end = status.indexOf('\n', at + 1);
    const QByteArray tgid = status.mid(at + 6, end < 0 ? -1 : end - at - 6).trimmed();
    return tgid.toUInt() == pid ? TaskKind::Process : TaskKind::Thread;
}

QByteArray ProcProcessTable::exeLink(ProcessId pid) const
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(
        (m_procRoot + '/' + QByteArray::number(pid) + "/exe").constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

bool ProcProcessTable::exists(ProcessId pid) const
{
    // Also for a thread: /proc/<tid> can be looked up though no listing shows it.
    return ::access((m_procRoot + '/' + QByteArray::number(pid)).constData(), F_OK) == 0;
}

bool ProcProcessTable::examineNewPids(ProcessId lastPid)
{
    bool born = false;
    const qint64 now = m_clock.elapsed();
    const auto found = [&](ProcessId pid, TaskKind kind) {
        ++m_tasksBorn;
        if (kind == TaskKind::Thread)
            m_youngThreads.emplace_back(now, pid);
        if (kind != TaskKind::Process)
            return;
        m_born.insert(pid);
        // With program starts told, the exec is told too and the name is read then.
        if (m_pollingBirths)
            m_execWatch.push_back({pid, m_startWatcher ? QByteArray() : exeLink(pid), now});
        born = true;
    };
    // A pid is handed out a moment before its task shows in /proc.
    for (auto it = m_unresolved.begin(); it != m_unresolved.end();) {
        const TaskKind kind = taskKind(it->first);
        if (kind == TaskKind::Missing && --it->second > 0) {
            ++it;
            continue;
        }
        if (kind != TaskKind::Missing)
            found(it->first, kind);
        it = m_unresolved.erase(it);
    }
    if (m_lastPid == 0 || lastPid == m_lastPid) {
        m_lastPid = lastPid;
        return born;
    }
    if (lastPid < m_lastPid || lastPid - m_lastPid > MaxPidRange) {
        // Pids wrapped round, or too many to look at one by one: list /proc instead. A
        // known pid in the range handed out may belong to a new process now.
        const bool wrapped = lastPid < m_lastPid;
        for (const Known& known : m_known) {
            if (wrapped ? (known.pid > m_lastPid || known.pid <= lastPid)
                        : (known.pid > m_lastPid && known.pid <= lastPid))
                m_born.insert(known.pid);
        }
        m_lastPid = lastPid;
        m_unresolved.clear();
        m_needListing = true;
        return true;
    }
    for (ProcessId pid = m_lastPid + 1; pid <= lastPid; ++pid) {
        const TaskKind kind = taskKind(pid);
        if (kind == TaskKind::Missing)
            m_unresolved.push_back({pid, 3});
        else
            found(pid, kind);
    }
    m_lastPid = lastPid;
    return born;
}

void ProcProcessTable::programStarted()
{
    // A process born a moment ago may be the one that started a program now: its name is
    // read again with the births. A program starts with a birth mostly, so the survey
    // would come anyway.
    const qint64 now = m_clock.elapsed();
    std::erase_if(
        m_execWatch, [&](const ExecWatch& watch) { return now - watch.since > ExecWatchMilliseconds; });
    for (const ExecWatch& watch : m_execWatch)
        m_dirty.insert(watch.pid);
    const TaskCounters counters = taskCounters();
    const bool born = counters.total >= 0 && examineNewPids(counters.lastPid);
    // Neither a birth nor a recent one: an older process ran another program (`exec` in a
    // shell). Which one only its exe link tells, so the next snapshot reads them all.
    if (!born && m_execWatch.empty())
        m_execScanWanted = true;
    if (!m_unresolved.empty() && !m_pollTimer.isActive())
        m_pollTimer.start();
    if (!m_born.empty() || !m_dirty.empty() || m_execScanWanted)
        reportChange();
}

void ProcProcessTable::scanExecs()
{
    // Only the exe link is read: a process whose link we may not read is another user's,
    // which ours cannot make run another program.
    m_execScanWanted = false;
    m_lastExecScan = m_clock.elapsed();
    for (Known& known : m_known) {
        if (!known.name)
            continue;
        const QByteArray exe = exeLink(known.pid);
        if (exe.isEmpty())
            continue;
        if (const QString name = ProcFields::exeName(exe); !name.isEmpty() && name != *known.name)
            setName(known, name);
    }
}

qint64 ProcProcessTable::reapThreads(qint64 missing)
{
    const qint64 now = m_clock.elapsed();
    while (!m_youngThreads.empty()
        && (now - m_youngThreads.front().first >= ThreadWatchMilliseconds
            || m_youngThreads.size() > MaxWatchedThreads))
        m_youngThreads.pop_front();
    // Pool threads mostly end in the order they came: the oldest are looked at first, and
    // only until the count is explained.
    qint64 ended = 0;
    for (auto it = m_youngThreads.begin(); it != m_youngThreads.end() && ended < missing;) {
        if (exists(it->second)) {
            ++it;
            continue;
        }
        it = m_youngThreads.erase(it);
        ++ended;
    }
    return ended;
}

void ProcProcessTable::pollBirths()
{
    const TaskCounters counters = taskCounters();
    bool changed = counters.total >= 0 && examineNewPids(counters.lastPid);
    // A new process usually runs another program a moment after its birth: its name
    // changes without a new pid. With program starts told, programStarted() reads them.
    const qint64 now = m_clock.elapsed();
    for (auto it = m_execWatch.begin(); !m_startWatcher && it != m_execWatch.end();) {
        const QByteArray exe = now - it->since > ExecWatchMilliseconds ? QByteArray() : exeLink(it->pid);
        if (exe.isEmpty()) {
            it = m_execWatch.erase(it);
            continue;
        }
        if (exe != it->exe) {
            it->exe = exe;
            m_dirty.insert(it->pid);
            changed = true;
        }
        ++it;
    }
    // Without the watcher's thread or program starts the timer polls for births too; with
    // program starts an exec is told as it happens, and the watched ones are looked at then.
    const bool pollAlways = !m_birthWatcher && !m_startWatcher;
    const bool followUp = (!m_execWatch.empty() && !m_startWatcher) || !m_unresolved.empty();
    if (m_pollingBirths && (pollAlways || followUp)) {
        if (!m_pollTimer.isActive())
            m_pollTimer.start();
    } else {
        m_pollTimer.stop();
    }
    if (changed)
        reportChange();
}

void ProcProcessTable::openConnector()
{
    FileDescriptor fd(::socket(PF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_CONNECTOR));
    if (!fd.isValid())
        return;
    sockaddr_nl address {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = CN_IDX_PROC;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return;
    constexpr size_t payload = sizeof(cn_msg) + sizeof(proc_cn_mcast_op);
    alignas(nlmsghdr) char request[NLMSG_SPACE(payload)] = {};
    auto* header = reinterpret_cast<nlmsghdr*>(request);
    header->nlmsg_len = NLMSG_LENGTH(payload);
    header->nlmsg_type = NLMSG_DONE;
    header->nlmsg_pid = quint32(::getpid());
    auto* message = static_cast<cn_msg*>(NLMSG_DATA(header));
    message->id.idx = CN_IDX_PROC;
    message->id.val = CN_VAL_PROC;
    message->len = sizeof(proc_cn_mcast_op);
    const proc_cn_mcast_op listen = PROC_CN_MCAST_LISTEN;
    std::memcpy(message->data, &listen, sizeof listen);
    if (::send(fd.get(), request, header->nlmsg_len, 0) != ssize_t(header->nlmsg_len))
        return;

    // The kernel may take the request and still send nothing (another network namespace,
    // too few rights): a child that ends at once must be seen before we count on it.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    if (child < 0)
        return;
    ::waitpid(child, nullptr, 0);
    m_connector = std::move(fd);
    // Births were counted from the pids until now; from here on the events tell.
    m_needListing = true;
    bool seen = false;
    pollfd wait {m_connector.get(), POLLIN, 0};
    for (int tries = 0; tries < 20 && !seen; ++tries) {
        if (::poll(&wait, 1, 50) <= 0)
            break;
        readConnector(false);
        seen = m_dirty.contains(ProcessId(child));
    }
    m_born.erase(ProcessId(child));
    m_dirty.erase(ProcessId(child));
    if (!seen)
        m_connector.reset();
}

void ProcProcessTable::readConnector(bool report)
{
    alignas(nlmsghdr) char buffer[8192];
    bool changed = false;
    for (;;) {
        const ssize_t got = ::recv(m_connector.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == ENOBUFS) {
            // Events were lost: only a listing can say what runs now.
            m_needListing = true;
            changed = true;
            continue;
        }
        if (got <= 0)
            break;
        int left = int(got);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            const auto* message = static_cast<const cn_msg*>(NLMSG_DATA(header));
            if (header->nlmsg_len < NLMSG_LENGTH(sizeof(cn_msg) + sizeof(proc_event))
                || message->id.idx != CN_IDX_PROC || message->id.val != CN_VAL_PROC)
                continue;
            proc_event event;
            std::memcpy(&event, message->data, sizeof event);
            switch (event.what) {
            case proc_event::PROC_EVENT_FORK:
                // A new thread forks too; only a new thread group is a process. A fork
                // mostly runs another program at once, and its exec is reported then: a
                // fork alone is left to the next tick, as before.
                if (event.event_data.fork.child_pid == event.event_data.fork.child_tgid) {
                    m_born.insert(ProcessId(event.event_data.fork.child_tgid));
                    m_dirty.insert(ProcessId(event.event_data.fork.child_tgid));
                }
                break;
            case proc_event::PROC_EVENT_EXEC:
                m_born.insert(ProcessId(event.event_data.exec.process_tgid));
                m_dirty.insert(ProcessId(event.event_data.exec.process_tgid));
                changed = true;
                break;
            case proc_event::PROC_EVENT_EXIT:
                if (event.event_data.exit.process_pid == event.event_data.exit.process_tgid) {
                    // Only the end of a process a snapshot showed running changes anything.
                    const ProcessId pid = ProcessId(event.event_data.exit.process_tgid);
                    m_dirty.insert(pid);
                    const auto known = std::lower_bound(m_known.begin(), m_known.end(), pid,
                        [](const Known& k, ProcessId p) { return k.pid < p; });
                    changed = changed || (known != m_known.end() && known->pid == pid && known->name);
                }
                break;
            default:
                break;
            }
        }
    }
    if (changed && report)
        reportChange();
}

void ProcProcessTable::watchChanges(bool on)
{
    if (on) {
        if (m_birthWatch == BirthWatch::Best && !m_connector.isValid())
            openConnector();
        if (m_connector.isValid()) {
            m_connectorNotifier = std::make_unique<QSocketNotifier>(m_connector.get(), QSocketNotifier::Read);
            QObject::connect(m_connectorNotifier.get(), &QSocketNotifier::activated,
                m_connectorNotifier.get(), [this] { readConnector(true); });
        } else {
            if (m_birthWatch != BirthWatch::Polling) {
                m_startWatcher
                    = std::make_unique<ProgramStartWatcher>(m_startFiles, [this] { programStarted(); });
                if (!m_startWatcher->isValid())
                    m_startWatcher.reset();
            }
            if (!m_startWatcher) {
                m_birthWatcher = std::make_unique<LastPidWatcher>(
                    m_procRoot + "/loadavg", PollIntervalMs, [this] { pollBirths(); });
                if (!m_birthWatcher->isValid())
                    m_birthWatcher.reset();
            }
            m_pollingBirths = true;
            // Pids handed out from here on are births; the ones before, the next
            // snapshot looks at.
            if (m_lastPid == 0)
                m_lastPid = taskCounters().lastPid;
            if (!m_birthWatcher && !m_startWatcher)
                m_pollTimer.start();
        }
        return;
    }
    m_pollingBirths = false;
    m_birthWatcher.reset();
    m_startWatcher.reset();
    m_pollTimer.stop();
    m_execWatch.clear();
    if (m_connector.isValid()) {
        // Without events births go unseen until the counts are trusted again.
        m_connectorNotifier.reset();
        m_connector.reset();
        m_lastPid = 0;
        m_needListing = true;
    }
}

std::optional<QString> ProcProcessTable::readName(ProcessId pid) const
{
    bool gone = false;
    return readName(pid, gone);
}

std::optional<QString> ProcProcessTable::readName(ProcessId pid, bool& gone) const
{
    const QByteArray folder = m_procRoot + '/' + QByteArray::number(pid) + '/';

    // The exe link of a process of ours comes first: only a process that still has its
    // memory has one, so neither a zombie nor a kernel thread, and the stat file, which
    // costs the kernel several times as much, need not be read.
    char target[PATH_MAX];
    const ssize_t length = ::readlink((folder + "exe").constData(), target, sizeof target);
    if (length > 0) {
        if (const QString name = ProcFields::exeName(QByteArrayView(target, length)); !name.isEmpty())
            return name;
    }

    // A stat file that is not there (rather than one we may not read) is a process gone.
    const QByteArray statText = ProcFields::readSmallFile(folder + "stat");
    gone = statText.isEmpty() && (errno == ENOENT || errno == ESRCH);
    const std::optional<ProcFields::Stat> stat = ProcFields::parseStat(statText);
    if (!stat || !ProcFields::isRunningProgram(*stat))
        return std::nullopt;

    if (const QString name = ProcFields::commandLineName(ProcFields::readSmallFile(folder + "cmdline"));
        !name.isEmpty())
        return name;

    return QFile::decodeName(stat->commandName);
}

QList<ProcessEntry> ProcProcessTable::entries()
{
    if (m_entriesStale) {
        m_entriesStale = false;
        m_entries.clear();
        m_entries.reserve(qsizetype(m_known.size()));
        for (const Known& known : m_known) {
            if (known.name)
                m_entries.append({known.pid, *known.name});
        }
    }
    return m_entries;
}

void ProcProcessTable::setName(Known& known, std::optional<QString> name)
{
    if (name != known.name) {
        known.name = std::move(name);
        m_entriesStale = true;
        m_touched.insert(known.pid);
    }
}

void ProcProcessTable::noteYoung(ProcessId pid, qint64 firstSeen)
{
    // Also dropped here: with the kernel's events young processes are never read again.
    const qint64 now = m_clock.elapsed();
    while (!m_young.empty() && now - m_young.front().first >= YoungMilliseconds)
        m_young.pop_front();
    if (now - firstSeen < YoungMilliseconds)
        m_young.emplace_back(firstSeen, pid);
}

qint64 ProcProcessTable::firstSightingTime()
{
    // Whatever runs before the first snapshot is not new: it started before us.
    const qint64 now = m_clock.elapsed();
    return std::exchange(m_primed, true) ? now : now - YoungMilliseconds;
}

QList<ProcessEntry> ProcProcessTable::fullSnapshot()
{
    const qint64 now = firstSightingTime();
    std::vector<Known> fresh;
    for (const ProcessId pid : listPids()) {
        const auto old = std::lower_bound(
            m_known.begin(), m_known.end(), pid, [](const Known& k, ProcessId p) { return k.pid < p; });
        const qint64 firstSeen = old != m_known.end() && old->pid == pid ? old->firstSeen : now;
        fresh.push_back({pid, readName(pid), firstSeen});
        if (firstSeen == now)
            noteYoung(pid, now);
    }
    m_known = std::move(fresh);
    m_entriesStale = true;
    m_changesComplete = true;
    return entries();
}

QList<ProcessEntry> ProcProcessTable::snapshot()
{
    refresh();
    return entries();
}

ProcessChanges ProcProcessTable::changes()
{
    refresh();
    ProcessChanges result;
    if (std::exchange(m_changesComplete, false)) {
        m_touched.clear();
        result.complete = true;
        result.started = entries();
        return result;
    }
    for (const ProcessId pid : m_touched) {
        const auto known = std::lower_bound(
            m_known.begin(), m_known.end(), pid, [](const Known& k, ProcessId p) { return k.pid < p; });
        if (known != m_known.end() && known->pid == pid && known->name)
            result.started.append({pid, *known->name});
        else
            result.ended.append(pid);
    }
    m_touched.clear();
    return result;
}

void ProcProcessTable::refresh()
{
    const bool primed = m_primed;
    const qint64 bornAt = firstSightingTime();
    const qint64 now = m_clock.elapsed();
    const auto findKnown = [this](ProcessId pid) {
        return std::lower_bound(
            m_known.begin(), m_known.end(), pid, [](const Known& k, ProcessId p) { return k.pid < p; });
    };

    // Births since the last snapshot, from the kernel's events or from the new pids.
    TaskCounters counters;
    if (m_connector.isValid()) {
        readConnector(false);
    } else {
        counters = taskCounters();
        if (counters.total >= 0)
            examineNewPids(counters.lastPid);
    }
    const bool births = !m_born.empty() || !m_dirty.empty();
    for (const ProcessId pid : m_born) {
        const auto at = findKnown(pid);
        if (at == m_known.end() || at->pid != pid) {
            m_known.insert(at, {pid, std::nullopt, bornAt});
            noteYoung(pid, bornAt);
        } else {
            // A number handed out again: read afresh below, and young again.
            at->firstSeen = bornAt;
            noteYoung(pid, bornAt);
        }
    }

    // Young, killed, changed and just born processes are read again; the ones that are
    // gone (not zombies, which the kernel still counts) leave. Only those are looked at,
    // so that a snapshot costs what was born rather than what runs.
    qint64 reaped = 0;
    bool youngReread = false; // in this refresh, not merely in this millisecond
    const auto reread = [&](bool young) {
        std::vector<ProcessId> candidates(m_born.begin(), m_born.end());
        candidates.insert(candidates.end(), m_killed.begin(), m_killed.end());
        candidates.insert(candidates.end(), m_dirty.begin(), m_dirty.end());
        if (young) {
            while (!m_young.empty() && now - m_young.front().first >= YoungMilliseconds)
                m_young.pop_front();
            for (const auto& [since, pid] : m_young)
                candidates.push_back(pid);
            m_lastYoungReread = now;
            youngReread = true;
        }
        m_born.clear();
        m_dirty.clear();
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        std::vector<ProcessId> gone;
        for (const ProcessId pid : candidates) {
            const auto known = findKnown(pid);
            if (known == m_known.end() || known->pid != pid)
                continue;
            bool ended = false;
            setName(*known, readName(pid, ended));
            if (ended)
                gone.push_back(pid);
        }
        if (gone.empty())
            return;
        reaped += qint64(gone.size());
        m_entriesStale = true;
        std::erase_if(
            m_known, [&](const Known& k) { return std::binary_search(gone.begin(), gone.end(), k.pid); });
    };
    const auto explained = [&] {
        return m_connector.isValid()
            || (counters.total >= 0 && counters.total == m_lastTotal + m_tasksBorn - reaped);
    };
    // The kernel's events tell every exec and exit: nothing needs reading again just in
    // case, neither young processes nor settled ones in turn.
    reread(!m_connector.isValid() && now - m_lastYoungReread >= YoungRereadMilliseconds);
    // An exit the count cannot explain is most likely a young process's: look at those
    // before listing everything.
    if (!explained() && !youngReread)
        reread(true);
    // Then at the threads seen born: a busy program's threads come and go all the time.
    if (!explained() && m_lastTotal >= 0 && counters.total >= 0)
        reaped += reapThreads(m_lastTotal + m_tasksBorn - reaped - counters.total);
    // A task counted and gone before its pid was examined leaves the count one too high,
    // and the next one one too low: counted again, unless more pids were handed out since.
    if (!explained() && counters.total >= 0) {
        if (const TaskCounters again = taskCounters(); again.total >= 0 && again.lastPid == counters.lastPid)
            counters.total = again.total;
    }

    // Listing /proc is the expensive part of a snapshot: done only when the kernel's task
    // count is not what the births and exits seen explain (an old process or an old thread
    // ended), and once in a while whatever the count, as a safety net: a count that adds
    // up by chance is put right by the next one, and the kernel's events report a loss
    // (ENOBUFS). Such listings come at most once a tick: an ended old process matters only
    // to a program that must keep running, and the tick never saw it sooner.
    // A listing takes milliseconds with a thousand processes: one that is merely due waits
    // for the next snapshot rather than hold up the verdict on a process just born.
    m_exitUnexplained = m_exitUnexplained || !explained();
    const bool due = now - m_lastListing >= m_listingInterval
        || (m_exitUnexplained && now - m_lastListing >= m_unexplainedListingGap);
    if (!due)
        m_listingDueSince.reset();
    else if (!m_listingDueSince)
        m_listingDueSince = now;
    const bool list = m_needListing || !primed
        || (due && (!births || now - *m_listingDueSince >= ListingPostponeMilliseconds));
    m_lastTotal = counters.total;
    m_tasksBorn = 0;
    if (list) {
        m_needListing = false;
        m_exitUnexplained = false;
        m_listingDueSince.reset();
        m_lastListing = now;
        ++m_listings;
        const std::vector<ProcessId> pids = listPids();
        // Both lists ascend, so one merge pass carries the cache over.
        std::vector<Known> merged;
        merged.reserve(pids.size());
        auto old = m_known.begin();
        size_t kept = 0;
        const auto dropped = [this](const Known& known) {
            if (known.name)
                m_touched.insert(known.pid);
        };
        for (const ProcessId pid : pids) {
            for (; old != m_known.end() && old->pid < pid; ++old)
                dropped(*old);
            if (old != m_known.end() && old->pid == pid) {
                merged.push_back(std::move(*old));
                ++old;
                ++kept;
            } else {
                merged.push_back({pid, readName(pid), bornAt});
                noteYoung(pid, bornAt);
                if (merged.back().name)
                    m_touched.insert(pid);
            }
        }
        for (; old != m_known.end(); ++old)
            dropped(*old);
        if (kept != m_known.size() || kept != merged.size())
            m_entriesStale = true;
        m_known = std::move(merged);
    }

    // Program starts nobody's birth explains, at most every ExecScanGapMilliseconds; the
    // ones meanwhile wait for it.
    if (m_execScanWanted && now - m_lastExecScan >= ExecScanGapMilliseconds)
        scanExecs();

    // A few settled processes in turn, wrapping round at the highest pid, as often as the
    // young ones. With program starts told, the scan above finds what runs a dynamically
    // linked program; the turns are left to statically linked ones, and come less often:
    // after a quiet while, a read of /proc costs far more than in a loop.
    const bool recheckTurn
        = youngReread && (!m_startWatcher || ++m_recheckTurn % RecheckTurnsWhileStartsTold == 0);
    if (!m_known.empty() && recheckTurn) {
        auto next = findKnown(m_nextRecheck);
        const int perTurn = m_startWatcher ? 1 : RecheckPerSnapshot;
        const int count = int(std::min<size_t>(perTurn, m_known.size()));
        for (int i = 0; i < count; ++i) {
            if (next == m_known.end())
                next = m_known.begin();
            if (next->name)
                setName(*next, readName(next->pid));
            ++next;
        }
        m_nextRecheck = next == m_known.end() ? 0 : next->pid;
    }

    // Nobody asked for changes for a long while: the next one to ask gets everything.
    if (m_touched.size() > MaxPidRange) {
        m_touched.clear();
        m_changesComplete = true;
    }

    // Killed processes are watched until they are gone or no longer running.
    for (auto it = m_killed.begin(); it != m_killed.end();) {
        const auto known = findKnown(*it);
        if (known == m_known.end() || known->pid != *it || !known->name)
            it = m_killed.erase(it);
        else
            ++it;
    }
}

TerminateResult ProcProcessTable::terminate(ProcessId pid)
{
    // 0 and negative numbers would signal whole process groups.
    if (pid == 0 || pid > ProcessId(INT_MAX))
        return TerminateResult::NoSuchProcess;
    if (::kill(pid_t(pid), SIGKILL) == 0) {
        m_killed.insert(pid);
        return TerminateResult::Terminated;
    }
    return errno == EPERM ? TerminateResult::NotPermitted : TerminateResult::NoSuchProcess;
}

ProcessId ProcProcessTable::start(const QString& commandLine)
{
    const std::optional<QStringList> words = ShellWords::commandWords(commandLine);
    if (!words || words->isEmpty() || words->first().isEmpty())
        return 0;
    // Qt starts it through a double fork in a new session, so it never becomes our
    // zombie and lives on after we end.
    qint64 pid = 0;
    if (!QProcess::startDetached(words->first(), words->sliced(1), QString(), &pid) || pid <= 0)
        return 0;
    return ProcessId(pid);
}

QList<CapabilityStatus> ProcProcessTable::capabilities()
{
    QList<CapabilityStatus> result;
    const bool listed = !listPids().empty();
    result.append({Capability::ProcessNames, listed,
        listed ? QStringLiteral("from %1").arg(QFile::decodeName(m_procRoot))
               : QStringLiteral("%1 cannot be listed").arg(QFile::decodeName(m_procRoot))});

    const bool anyProcess = ::geteuid() == 0
        || ProcFields::statusGrantsKill(ProcFields::readSmallFile(m_procRoot + "/self/status", 16384));
    result.append({Capability::TerminationRights, true,
        anyProcess ? QStringLiteral("any process") : QStringLiteral("only processes of this user")});

    // Asked for here too, so that the report says what a running survey would use.
    if (m_birthWatch == BirthWatch::Best && !m_connector.isValid())
        openConnector();
    const bool events = m_connector.isValid();
    if (!watchingChanges())
        m_connector.reset();
    QStringList watched;
    if (m_birthWatch != BirthWatch::Polling && !events) {
        const ProgramStartWatcher probe(m_startFiles, [] {});
        for (const QByteArray& file : std::as_const(m_startFiles))
            watched.append(QFile::decodeName(file));
        if (!probe.isValid())
            watched.clear();
    }
    QString how;
    if (events)
        how = QStringLiteral("the kernel's process events");
    else if (!watched.isEmpty())
        how = QStringLiteral(
            "program starts from the opens of %1; statically linked programs at the next tick "
            "(the kernel's process events need root or CAP_NET_ADMIN)")
                  .arg(watched.join(QStringLiteral(", ")));
    else
        how = QStringLiteral("new pids from %1/loadavg every %2 ms (the kernel's process events need "
                             "root or CAP_NET_ADMIN)")
                  .arg(QFile::decodeName(m_procRoot))
                  .arg(PollIntervalMs);
    result.append({Capability::ProcessEvents, listed, how});

    // The guard's own word, if one runs: its status file names a live tollgate-guard.
    const QList<QByteArray> status = ProcFields::readSmallFile(GuardStatusFile, 4096).split('\n');
    const bool guarded = status.size() >= 2
        && ProcFields::readSmallFile(m_procRoot + '/' + status[0].trimmed() + "/comm", 64).trimmed()
            == "tollgate-guard";
    result.append({Capability::Guard, guarded,
        guarded ? QString::fromUtf8(status[1])
                : QStringLiteral("no guard runs here (tollgate-guard --check says what one could do)")});
    return result;
}

} // namespace Tollgate::Platform
