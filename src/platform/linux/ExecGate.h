#pragma once

#include "FileDescriptor.h"
#include "platform/PlatformTypes.h"
#include "platform/ProgramFile.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Tollgate::Platform {

// Makes every exec on the machine wait for an answer: the kernel's fanotify permission
// events on each mounted file system that can hold programs. The answers come from a
// thread of their own, so that the caller's event loop can be busy.
//
// A stalled listener would stall every exec on the machine, so a watchdog answers "allow"
// for any exec left waiting longer than StallMs, and for whatever queues up behind it,
// until the listener is back. Ending the gate (or this process dying) closes the group,
// and the kernel then allows whatever was waiting.
class ExecGate
{
public:
    static constexpr int StallMs = 25;

    struct Request
    {
        ProcessId pid = 0;
        uint uid = 0; // real user id of the process that execs
        ProgramFile file; // readable while the decision is made
    };
    // Whether execs by this account are asked about at all; the rest are allowed at once.
    using Manages = std::function<bool(uint uid)>;
    // True to allow. Called on the gate's thread, one request at a time.
    using Decide = std::function<bool(const Request& request)>;

    ExecGate(Manages manages, Decide decide);
    ~ExecGate();
    ExecGate(const ExecGate&) = delete;
    ExecGate& operator=(const ExecGate&) = delete;

    // Marks the file systems and starts answering; false with the reason when permission
    // events cannot be had (no CAP_SYS_ADMIN, an old kernel, a container).
    bool start(QString& why);
    // Whether this process could have permission events here, without keeping them.
    static bool available(QString& why);
    void stop();

    // The mount points marked, for the report.
    QStringList marked() const;
    // Execs answered: by a decision, and by the watchdog because the decision was late.
    quint64 decided() const { return m_decided.load(); }
    quint64 allowedByWatchdog() const { return m_allowedByWatchdog.load(); }

private:
    struct Pending
    {
        int fd = -1;
        ProcessId pid = 0;
        bool answered = false;
    };

    bool markFileSystems(QString& why);
    void listen();
    void watch();
    void answer(int fd, bool allow);
    bool decideOne(const Pending& event);
    // Answers "allow" to whatever is queued; with m_mutex held.
    void drainLocked();

    Manages m_manages;
    Decide m_decide;
    const ProcessId m_ownPid;
    FileDescriptor m_fanotify;
    FileDescriptor m_stop; // an eventfd that ends the listener
    FileDescriptor m_mounts; // /proc/self/mountinfo: readable with POLLPRI on a change
    QStringList m_marked;
    std::vector<unsigned long long> m_markedDevices;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Pending> m_batch; // the events read and not yet all answered
    quint64 m_generation = 0; // counts decisions; the watchdog times the current one
    bool m_deciding = false;
    bool m_watchdogIdle = false;
    bool m_stopping = false;
    std::atomic<quint64> m_decided {0};
    std::atomic<quint64> m_allowedByWatchdog {0};
    std::thread m_listener;
    std::thread m_watchdog;
};

} // namespace Tollgate::Platform
