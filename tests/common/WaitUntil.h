#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <functional>

namespace Tollgate::Test {

// Whether waiting lets the event loop run: backends that hear from their desktop through
// the event loop need it, tests of what happens without it must not.
enum class Events { Wait, Process };

// Polls until the condition holds or the time is up; display events and process exits are
// asynchronous, and CI machines are slow.
inline bool waitUntil(const std::function<bool()>& condition,
    std::chrono::milliseconds timeout = std::chrono::seconds(30), Events events = Events::Wait)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeout.count())
            return false;
        if (events == Events::Process) {
            QCoreApplication::processEvents();
            QThread::msleep(5);
        } else {
            QThread::msleep(20);
        }
    }
    return true;
}

inline bool waitProcessingEvents(
    const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(30))
{
    return waitUntil(condition, timeout, Events::Process);
}

} // namespace Tollgate::Test
