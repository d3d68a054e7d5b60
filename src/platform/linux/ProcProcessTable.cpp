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
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace Tollgate::Platform {

namespace {

    struct DirCloser
    {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };

    // Reads a small /proc file whole; /proc files report no size, so read until the end.
    QByteArray readSmallFile(const QByteArray& path, qsizetype limit = 4096)
    {
        FileDescriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC));
        if (!fd.isValid())
            return QByteArray();
        QByteArray data(limit, Qt::Uninitialized);
        qsizetype used = 0;
        while (used < limit) {
            const ssize_t got = ::read(fd.get(), data.data() + used, size_t(limit - used));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            used += got;
        }
        data.truncate(used);
        return data;
    }

} // namespace

ProcProcessTable::ProcProcessTable(QByteArray procRoot)
    : m_procRoot(std::move(procRoot))
{
    m_clock.start();
}

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
    std::sort(pids.begin(), pids.end());
    return pids;
}

QByteArray ProcProcessTable::taskCounters() const
{
    return ProcFields::taskCounters(readSmallFile(m_procRoot + "/loadavg", 256));
}

std::optional<QString> ProcProcessTable::readName(ProcessId pid) const
{
    const QByteArray folder = m_procRoot + '/' + QByteArray::number(pid) + '/';

    const std::optional<ProcFields::Stat> stat = ProcFields::parseStat(readSmallFile(folder + "stat"));
    if (!stat || !ProcFields::isRunningProgram(*stat))
        return std::nullopt;

    char target[PATH_MAX];
    const ssize_t length = ::readlink((folder + "exe").constData(), target, sizeof target);
    if (length > 0) {
        if (const QString name = ProcFields::exeName(QByteArrayView(target, length)); !name.isEmpty())
            return name;
    }

    if (const QString name = ProcFields::commandLineName(readSmallFile(folder + "cmdline")); !name.isEmpty())
        return name;

    return QFile::decodeName(stat->commandName);
}

QList<ProcessEntry> ProcProcessTable::entries() const
{
    QList<ProcessEntry> result;
    result.reserve(qsizetype(m_known.size()));
    for (const Known& known : m_known) {
        if (known.name)
            result.append({known.pid, *known.name});
    }
    return result;
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
    }
    m_known = std::move(fresh);
    return entries();
}

QList<ProcessEntry> ProcProcessTable::snapshot()
{
    const qint64 bornAt = firstSightingTime();
    const qint64 now = m_clock.elapsed();
    // Listing /proc is the expensive part of a snapshot: skip it while no task was
    // created (the last pid would move) or reaped (the task count would drop).
    const QByteArray counters = taskCounters();
    std::vector<ProcessId> pids;
    if (!counters.isEmpty() && counters == m_lastTaskCounters) {
        pids.reserve(m_known.size());
        for (const Known& known : m_known)
            pids.push_back(known.pid);
    } else {
        pids = listPids();
    }
    const QByteArray previousCounters = std::exchange(m_lastTaskCounters, counters);

    // Both lists ascend, so one merge pass carries the cache over.
    std::vector<Known> merged;
    merged.reserve(pids.size());
    auto old = m_known.begin();
    for (const ProcessId pid : pids) {
        while (old != m_known.end() && old->pid < pid)
            ++old;
        if (old != m_known.end() && old->pid == pid) {
            Known known = std::move(*old);
            // A number handed out since the last snapshot may now belong to a new process.
            if (ProcFields::mayBeNewPid(pid, previousCounters, counters))
                known.firstSeen = bornAt;
            if (now - known.firstSeen < YoungMilliseconds || m_killed.contains(pid))
                known.name = readName(pid);
            merged.push_back(std::move(known));
        } else {
            merged.push_back({pid, readName(pid), bornAt});
        }
    }
    m_known = std::move(merged);

    // A few settled processes in turn, wrapping round at the highest pid.
    if (!m_known.empty()) {
        auto next = std::lower_bound(m_known.begin(), m_known.end(), m_nextRecheck,
            [](const Known& k, ProcessId p) { return k.pid < p; });
        const int count = int(std::min<size_t>(RecheckPerSnapshot, m_known.size()));
        for (int i = 0; i < count; ++i) {
            if (next == m_known.end())
                next = m_known.begin();
            if (next->name)
                next->name = readName(next->pid);
            ++next;
        }
        m_nextRecheck = next == m_known.end() ? 0 : next->pid;
    }

    // Killed processes are watched until they are gone or no longer running.
    for (auto it = m_killed.begin(); it != m_killed.end();) {
        const auto known = std::lower_bound(
            m_known.begin(), m_known.end(), *it, [](const Known& k, ProcessId p) { return k.pid < p; });
        if (known == m_known.end() || known->pid != *it || !known->name)
            it = m_killed.erase(it);
        else
            ++it;
    }
    return entries();
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
    const std::optional<QStringList> words = ShellWords::split(commandLine);
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

    const bool anyProcess
        = ::geteuid() == 0 || ProcFields::statusGrantsKill(readSmallFile(m_procRoot + "/self/status", 16384));
    result.append({Capability::TerminationRights, true,
        anyProcess ? QStringLiteral("any process") : QStringLiteral("only processes of this user")});
    return result;
}

} // namespace Tollgate::Platform
