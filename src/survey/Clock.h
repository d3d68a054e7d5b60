#pragma once

#include <QDateTime>

namespace Tollgate {

// Time as the survey sees it. Tests hand in a simulated clock, so minutes of survey run
// in milliseconds.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds on a clock that never goes back.
    virtual qint64 monotonicMs() const = 0;
    // The local date and time, for log lines.
    virtual QDateTime currentDateTime() const = 0;
    // Waits without letting other events run.
    virtual void sleepMs(int ms) = 0;
};

class SystemClock : public Clock
{
public:
    SystemClock();
    qint64 monotonicMs() const override;
    QDateTime currentDateTime() const override;
    void sleepMs(int ms) override;

private:
    qint64 m_startNs;
};

} // namespace Tollgate
