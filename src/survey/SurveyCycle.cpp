#include "SurveyCycle.h"

#include "platform/Platform.h"

namespace Tollgate {

SurveyCycle::SurveyCycle(RuleSet& rules, Platform::Platform& platform, SurveyNotifier& notifier,
    ActivityLog& log, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_windowSurvey(rules, platform.windows(), notifier, log)
    , m_idleDetector(rules, platform.input(), notifier)
    , m_processSurvey(rules, platform.processes(), notifier, log, clock, IntervalMs)
{ }

void SurveyCycle::run()
{
    setRunning(true);
}

void SurveyCycle::stop()
{
    setRunning(false);
}

void SurveyCycle::setRunning(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    emit runningChanged(m_running);
}

void SurveyCycle::tick()
{
    if (!m_running || m_inTick)
        return;
    m_inTick = true;
    m_windowSurvey.SurveyWindows();
    m_idleDetector.SurveyIdle(IntervalMs);
    m_processSurvey.SurveyProcesses();
    m_inTick = false;
}

} // namespace Tollgate
