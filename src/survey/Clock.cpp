#include "Clock.h"

#include <QDeadlineTimer>
#include <QThread>

namespace Tollgate {

SystemClock::SystemClock()
    : m_startNs(QDeadlineTimer::current().deadlineNSecs())
{ }

qint64 SystemClock::monotonicMs() const
{
    return (QDeadlineTimer::current().deadlineNSecs() - m_startNs) / 1000000;
}

QDateTime SystemClock::currentDateTime() const
{
    return QDateTime::currentDateTime();
}

void SystemClock::sleepMs(int ms)
{
    QThread::msleep(static_cast<unsigned long>(std::max(ms, 0)));
}

} // namespace Tollgate
