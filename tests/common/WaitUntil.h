#pragma once

#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <functional>

namespace Tollgate::Test {

// Polls until the condition holds or the time is up; display events and process exits are
// asynchronous, and CI machines are slow.
inline bool waitUntil(
    const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(30))
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace Tollgate::Test
