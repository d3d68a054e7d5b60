#include "LastPidWatcher.h"

#include "ProcFields.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Tollgate::Platform {

namespace {

    quint32 readLastPid(int fd)
    {
        return ProcFields::readTaskCounters(fd).lastPid;
    }

    void advance(timespec& t, int ms)
    {
        t.tv_nsec += long(ms) * 1000000L;
        t.tv_sec += t.tv_nsec / 1000000000L;
        t.tv_nsec %= 1000000000L;
    }

} // namespace

LastPidWatcher::LastPidWatcher(const QByteArray& loadavgPath, int intervalMs, std::function<void()> onMoved)
    : m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    , m_onMoved(std::move(onMoved))
{
    FileDescriptor loadavg(::open(loadavgPath.constData(), O_RDONLY | O_CLOEXEC));
    // Read here rather than on the thread, so that a pid handed out from now on is seen.
    const quint32 last = loadavg.isValid() ? readLastPid(loadavg.get()) : 0;
    if (!m_wake.isValid() || last == 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_wake.get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
        std::uint64_t count = 0;
        if (::read(m_wake.get(), &count, sizeof count) == ssize_t(sizeof count) && m_onMoved)
            m_onMoved();
    });
    m_thread = std::jthread(
        [this, fd = std::move(loadavg), intervalMs, last](
            const std::stop_token& stop) mutable { run(stop, std::move(fd), intervalMs, last); });
}

LastPidWatcher::~LastPidWatcher()
{
    // The thread sleeps one interval at most before it sees the request.
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

void LastPidWatcher::run(const std::stop_token& stop, FileDescriptor loadavg, int intervalMs, quint32 last)
{
    timespec next {};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    while (!stop.stop_requested()) {
        // Absolute wake-up times, so that a late wake-up does not push every later one.
        advance(next, intervalMs);
        timespec now {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec > next.tv_sec + 1)
            next = now; // suspended or starved for a while: no burst of catching up
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) { }
        const quint32 lastPid = readLastPid(loadavg.get());
        if (lastPid != 0 && lastPid != last) {
            last = lastPid;
            wakeOwner();
        }
    }
}

void LastPidWatcher::wakeOwner()
{
    // Wake-ups add up in the eventfd until the owner reads them: one call for all.
    const std::uint64_t one = 1;
    while (::write(m_wake.get(), &one, sizeof one) < 0 && errno == EINTR) { }
}

} // namespace Tollgate::Platform
