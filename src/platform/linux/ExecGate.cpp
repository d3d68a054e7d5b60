#include "ExecGate.h"

#include "ProgramFiles.h"

#include <QFile>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tollgate::Platform {

namespace {

    // File systems that hold no programs anyone runs, or that refuse marks.
    const QSet<QByteArray>& skippedTypes()
    {
        static const QSet<QByteArray> types {"proc", "sysfs", "cgroup", "cgroup2", "devpts", "mqueue",
            "debugfs", "tracefs", "securityfs", "pstore", "bpf", "configfs", "fusectl", "hugetlbfs", "autofs",
            "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs", "devtmpfs"};
        return types;
    }

    // Mount points in mountinfo escape blanks and backslashes as octal.
    QByteArray unescape(const QByteArray& field)
    {
        QByteArray out;
        for (qsizetype i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size() && field.mid(i + 1, 3).toInt(nullptr, 8) > 0) {
                out.append(char(field.mid(i + 1, 3).toInt(nullptr, 8)));
                i += 3;
            } else {
                out.append(field[i]);
            }
        }
        return out;
    }

    QString errorText(int error)
    {
        return QString::fromLocal8Bit(std::strerror(error));
    }

    int openGroup(QString& why)
    {
        const int fd = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK | FAN_UNLIMITED_QUEUE,
            O_RDONLY | O_LARGEFILE | O_CLOEXEC);
        if (fd < 0)
            why = QStringLiteral("fanotify: %1").arg(errorText(errno));
        return fd;
    }

} // namespace

ExecGate::ExecGate(Manages manages, Decide decide)
    : m_manages(std::move(manages))
    , m_decide(std::move(decide))
    , m_ownPid(ProcessId(::getpid()))
{ }

ExecGate::~ExecGate()
{
    stop();
}

bool ExecGate::available(QString& why)
{
    FileDescriptor group(openGroup(why));
    if (!group.isValid())
        return false;
    if (::fanotify_mark(group.get(), FAN_MARK_ADD | FAN_MARK_MOUNT, FAN_OPEN_EXEC_PERM, AT_FDCWD, "/") != 0) {
        why = QStringLiteral("fanotify permission events for execs: %1").arg(errorText(errno));
        return false;
    }
    return true;
}

bool ExecGate::start(QString& why)
{
    m_fanotify.reset(openGroup(why));
    if (!m_fanotify.isValid())
        return false;
    m_mounts.reset(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    if (!markFileSystems(why)) {
        m_fanotify.reset();
        return false;
    }
    m_stop.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    m_stopping = false;
    m_listener = std::thread([this] { listen(); });
    m_watchdog = std::thread([this] { watch(); });
    return true;
}

void ExecGate::stop()
{
    if (!m_listener.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stop.get(), &one, sizeof one);
    m_listener.join();
    m_watchdog.join();
    // Closing the group lets the kernel allow whatever still waits.
    m_fanotify.reset();
}

QStringList ExecGate::marked() const
{
    std::lock_guard lock(m_mutex);
    return m_marked;
}

bool ExecGate::markFileSystems(QString& why)
{
    QByteArray text;
    if (m_mounts.isValid()) {
        ::lseek(m_mounts.get(), 0, SEEK_SET);
        char buffer[8192];
        ssize_t got;
        while ((got = ::read(m_mounts.get(), buffer, sizeof buffer)) > 0)
            text.append(buffer, got);
    }
    std::lock_guard lock(m_mutex);
    QString lastError;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 1 >= fields.size())
            continue;
        const QByteArray type = fields[dash + 1];
        if (skippedTypes().contains(type) || fields[5].split(',').contains("noexec"))
            continue;
        const QByteArray mountPoint = unescape(fields[4]);
        struct stat info
        {
        };
        if (::stat(mountPoint.constData(), &info) != 0)
            continue;
        const unsigned long long device = info.st_dev;
        if (std::find(m_markedDevices.begin(), m_markedDevices.end(), device) != m_markedDevices.end())
            continue;
        const QString shown = QFile::decodeName(mountPoint);
        if (::fanotify_mark(m_fanotify.get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, FAN_OPEN_EXEC_PERM,
                AT_FDCWD, mountPoint.constData())
            == 0) {
            m_markedDevices.push_back(device);
        } else if (::fanotify_mark(m_fanotify.get(), FAN_MARK_ADD | FAN_MARK_MOUNT, FAN_OPEN_EXEC_PERM,
                       AT_FDCWD, mountPoint.constData())
            != 0) {
            // Some file systems (overlays in containers) take mount marks only; one that
            // takes neither is left out.
            lastError = QStringLiteral("%1: %2").arg(shown, errorText(errno));
            continue;
        }
        if (!m_marked.contains(shown))
            m_marked.append(shown);
    }
    if (m_marked.isEmpty()) {
        why = lastError.isEmpty() ? QStringLiteral("no file system that can hold programs was found")
                                  : QStringLiteral("fanotify permission events for execs: %1").arg(lastError);
        return false;
    }
    return true;
}

void ExecGate::answer(int fd, bool allow)
{
    fanotify_response response {};
    response.fd = fd;
    response.response = allow ? FAN_ALLOW : FAN_DENY;
    [[maybe_unused]] const ssize_t written = ::write(m_fanotify.get(), &response, sizeof response);
}

bool ExecGate::decideOne(const Pending& event)
{
    // The owner of /proc/PID is the effective user of a dumpable process: one stat, where
    // reading the real user from its status costs ten times as much. Any other owner (root
    // for a process made non-dumpable, a set-user-ID program's user) is checked against
    // the real user. Nothing is remembered from one exec to the next: a root process that
    // switches to an account and runs a program within microseconds (su, setpriv, a
    // login) is the same pid with other credentials.
    std::optional<uint> uid = ProcessFacts::owner(event.pid);
    if (!uid || !m_manages(*uid))
        uid = ProcessFacts::realUid(event.pid);
    if (!uid || !m_manages(*uid))
        return true;
    const QByteArray path = ProcessFacts::link(m_ownPid, "fd/" + QByteArray::number(event.fd));
    return m_decide({event.pid, *uid, OpenProgram::describe(event.fd, QFile::decodeName(path))});
}

void ExecGate::listen()
{
    alignas(fanotify_event_metadata) char buffer[16384];
    pollfd fds[3] = {{m_fanotify.get(), POLLIN, 0}, {m_stop.get(), POLLIN, 0}, {m_mounts.get(), POLLPRI, 0}};
    for (;;) {
        if (::poll(fds, m_mounts.isValid() ? 3 : 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (fds[2].revents & (POLLPRI | POLLERR)) {
            // A file system mounted since (a USB stick): mark it too.
            QString why;
            markFileSystems(why);
        }
        if (!(fds[0].revents & POLLIN))
            continue;
        size_t count = 0;
        {
            std::lock_guard lock(m_mutex);
            const ssize_t length = ::read(m_fanotify.get(), buffer, sizeof buffer);
            if (length <= 0)
                continue; // the watchdog took them, or an interruption
            m_batch.clear();
            auto* metadata = reinterpret_cast<fanotify_event_metadata*>(buffer);
            for (ssize_t left = length; FAN_EVENT_OK(metadata, left);
                 metadata = FAN_EVENT_NEXT(metadata, left)) {
                if (metadata->fd < 0)
                    continue; // a queue overflow: it holds no exec to answer
                m_batch.push_back({metadata->fd, ProcessId(metadata->pid), false});
            }
            count = m_batch.size();
        }
        for (size_t i = 0; i < count; ++i) {
            Pending event;
            {
                std::lock_guard lock(m_mutex);
                event = m_batch[i];
                if (!event.answered) {
                    m_deciding = true;
                    ++m_generation;
                    if (m_watchdogIdle)
                        m_wake.notify_one();
                }
            }
            if (!event.answered) {
                const bool allow = decideOne(event);
                std::lock_guard lock(m_mutex);
                m_deciding = false;
                if (!m_batch[i].answered) {
                    answer(event.fd, allow);
                    m_batch[i].answered = true;
                    ++m_decided;
                }
            }
            ::close(event.fd);
        }
        std::lock_guard lock(m_mutex);
        m_batch.clear();
    }
}

void ExecGate::drainLocked()
{
    alignas(fanotify_event_metadata) char buffer[4096];
    ssize_t length;
    while ((length = ::read(m_fanotify.get(), buffer, sizeof buffer)) > 0) {
        auto* metadata = reinterpret_cast<fanotify_event_metadata*>(buffer);
        for (ssize_t left = length; FAN_EVENT_OK(metadata, left); metadata = FAN_EVENT_NEXT(metadata, left)) {
            if (metadata->fd < 0)
                continue;
            answer(metadata->fd, true);
            ::close(metadata->fd);
            ++m_allowedByWatchdog;
        }
    }
}

void ExecGate::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_deciding) {
            // Nothing to time: sleep until a decision starts, so that a quiet machine
            // costs no wake-ups.
            m_watchdogIdle = true;
            m_wake.wait(lock, [&] { return m_stopping || m_deciding; });
            m_watchdogIdle = false;
            continue;
        }
        const quint64 generation = m_generation;
        if (m_wake.wait_for(lock, std::chrono::milliseconds(StallMs),
                [&] { return m_stopping || !m_deciding || m_generation != generation; }))
            continue;
        // One decision has taken StallMs: allow it, the rest of its batch, and what queued
        // behind it, and again every StallMs until the listener is back.
        for (Pending& event : m_batch) {
            if (!event.answered) {
                answer(event.fd, true);
                event.answered = true;
                ++m_allowedByWatchdog;
            }
        }
        drainLocked();
    }
}

} // namespace Tollgate::Platform
