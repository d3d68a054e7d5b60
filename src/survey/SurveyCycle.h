#pragma once

#include "IdleDetector.h"
#include "ProcessSurvey.h"
#include "WindowSurvey.h"

#include <QObject>
#include <QTimer>

namespace Tollgate {

namespace Platform {
    class Platform;
}

// The Run/Stop switch and the survey. While running, a timer ticks every intervalMs();
// besides, whatever the platform reports as changed is surveyed as soon as events run,
// so that a new window or process is dealt with within milliseconds rather than on the
// next tick. The tick stays as the safety net and is the only clock of idle detection.
class SurveyCycle : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 50;

    // The steps of a survey, in the order they run.
    enum Step {
        WindowStep = 1,
        IdleStep = 2,
        ProcessStep = 4,
        AllSteps = WindowStep | IdleStep | ProcessStep,
    };

    SurveyCycle(RuleSet& rules, Platform::Platform& platform, SurveyNotifier& notifier, ActivityLog& log,
        Clock& clock, int intervalMs = IntervalMs, QObject* parent = nullptr);
    ~SurveyCycle() override;

    bool running() const { return m_running; }
    int intervalMs() const { return m_intervalMs; }

    void run();
    void stop();
    void setRunning(bool running);

    // The window survey, idle detection and the process survey, in this order. A tick
    // that arrives while a survey is still under way (a window showing itself may let
    // events run) is dropped.
    void tick();
    // Asks for the given steps to be surveyed once events run. Requests made before then
    // are served by one survey, requests made during a survey by one survey after it.
    void requestSurvey(int steps);

    // Surveys run so far, ticks and requested ones together.
    int surveysRun() const { return m_surveysRun; }

    WindowSurvey& windowSurvey() { return m_windowSurvey; }
    IdleDetector& idleDetector() { return m_idleDetector; }
    ProcessSurvey& processSurvey() { return m_processSurvey; }

signals:
    void runningChanged(bool running);

private:
    void survey(int steps, int idleIntervalMs);
    void postRequested();
    void runRequested();
    void watchPlatform(bool on);

    Platform::Platform& m_platform;
    WindowSurvey m_windowSurvey;
    IdleDetector m_idleDetector;
    ProcessSurvey m_processSurvey;
    int m_intervalMs;
    QTimer m_timer;
    bool m_running = false;
    bool m_inTick = false;
    int m_requested = 0; // steps asked for and not yet surveyed
    bool m_posted = false; // a call of runRequested() is on its way
    int m_surveysRun = 0;
};

} // namespace Tollgate
