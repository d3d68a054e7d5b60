#pragma once

#include "FileDescriptor.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <thread>

namespace Tollgate::Platform {

// Watches the last pid handed out (in /proc/loadavg) from a thread of its own and calls
// back on the owner's thread only when it moved. A quiet machine then costs one read per
// interval and no pass through the event loop, which costs several times as much.
class LastPidWatcher
{
public:
    // Calls onMoved on the thread that constructs the watcher, through its event loop.
    LastPidWatcher(const QByteArray& loadavgPath, int intervalMs, std::function<void()> onMoved);
    ~LastPidWatcher();
    LastPidWatcher(const LastPidWatcher&) = delete;
    LastPidWatcher& operator=(const LastPidWatcher&) = delete;

    bool isValid() const { return m_thread.joinable(); }

private:
    void run(const std::stop_token& stop, FileDescriptor loadavg, int intervalMs, quint32 last);
    void wakeOwner();

    FileDescriptor m_wake; // an eventfd: the thread writes, the owner's notifier reads
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onMoved;
    std::jthread m_thread;
};

} // namespace Tollgate::Platform
