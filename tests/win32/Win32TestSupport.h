#pragma once

#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <functional>
#include <windows.h>

namespace Tollgate::Test {

// Runs this thread's messages until the condition holds or the time is up: windows of
// this thread only answer, and WinEvents only arrive, while it takes its messages.
inline bool pumpUntil(
    const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (condition())
            return true;
        if (clock.elapsed() > timeout.count())
            return false;
        QThread::msleep(10);
    }
}

} // namespace Tollgate::Test
