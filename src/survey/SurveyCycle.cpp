#include "SurveyCycle.h"

#include "platform/Platform.h"

namespace Tollgate {

SurveyCycle::SurveyCycle(RuleSet& rules, Platform::Platform& platform, SurveyNotifier& notifier,
    ActivityLog& log, Clock& clock, int intervalMs, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_windowSurvey(rules, platform.windows(), notifier, log)
    , m_idleDetector(rules, platform.input(), notifier)
    , m_processSurvey(rules, platform.processes(), notifier, log, clock, intervalMs)
    , m_intervalMs(intervalMs)
{
    m_timer.setInterval(m_intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SurveyCycle::tick);
}

SurveyCycle::~SurveyCycle()
{
    if (m_running)
        watchPlatform(false);
}

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
    m_requested = 0;
    watchPlatform(m_running);
    if (m_running)
        m_timer.start();
    else
        m_timer.stop();
    emit runningChanged(m_running);
}

void SurveyCycle::watchPlatform(bool on)
{
    // The backends watch only while someone listens, so a stopped survey costs nothing.
    const auto handler
        = [this](int steps) -> std::function<void()> { return [this, steps] { requestSurvey(steps); }; };
    m_platform.windows().setChangeHandler(on ? handler(WindowStep) : nullptr);
    m_platform.input().setChangeHandler(on ? handler(IdleStep) : nullptr);
    m_platform.processes().setChangeHandler(on ? handler(ProcessStep) : nullptr);
}

void SurveyCycle::tick()
{
    if (!m_running || m_inTick)
        return;
    survey(AllSteps, m_intervalMs);
}

void SurveyCycle::requestSurvey(int steps)
{
    if (!m_running)
        return;
    m_requested |= steps & AllSteps;
    postRequested();
}

void SurveyCycle::postRequested()
{
    if (m_posted || m_requested == 0)
        return;
    m_posted = true;
    QMetaObject::invokeMethod(this, &SurveyCycle::runRequested, Qt::QueuedConnection);
}

void SurveyCycle::runRequested()
{
    m_posted = false;
    // A survey under way posts again when it ends.
    if (!m_running || m_inTick)
        return;
    // Only the steps whose sources changed run: a window step repeated for a process
    // would repeat its close request, message and log line more often than the tick does.
    // Idle detection gets no time here; only the tick counts idle time.
    survey(m_requested, 0);
}

void SurveyCycle::survey(int steps, int idleIntervalMs)
{
    m_inTick = true;
    // What was reported until now is seen by this survey; reports made while it runs
    // ask for another one.
    m_requested = 0;
    if (steps & WindowStep)
        m_windowSurvey.SurveyWindows();
    if (steps & IdleStep)
        m_idleDetector.SurveyIdle(idleIntervalMs);
    if (steps & ProcessStep)
        m_processSurvey.SurveyProcesses();
    m_inTick = false;
    ++m_surveysRun;
    if (m_running)
        postRequested();
}

} // namespace Tollgate
