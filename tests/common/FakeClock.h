#pragma once

#include "survey/Clock.h"

namespace Tollgate {

// A clock that moves only when told to, or when the code under test sleeps.
class FakeClock : public Clock
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2004, 2, 27), QTime(15, 1, 23)))
        : m_start(std::move(start))
    { }

    qint64 monotonicMs() const override { return m_ms; }
    QDateTime currentDateTime() const override { return m_start.addMSecs(m_ms); }
    void sleepMs(int ms) override
    {
        m_ms += ms;
        ++m_sleeps;
    }

    void advance(qint64 ms) { m_ms += ms; }
    int sleeps() const { return m_sleeps; }

private:
    QDateTime m_start;
    qint64 m_ms = 0;
    int m_sleeps = 0;
};

} // namespace Tollgate
