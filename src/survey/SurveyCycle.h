#pragma once

#include "IdleDetector.h"
#include "ProcessSurvey.h"
#include "WindowSurvey.h"

#include <QObject>

namespace Tollgate {

namespace Platform {
    class Platform;
}

// The Run/Stop switch and the tick. The application owns the timer: it calls tick()
// every intervalMs() while running() is true.
class SurveyCycle : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 50;

    SurveyCycle(RuleSet& rules, Platform::Platform& platform, SurveyNotifier& notifier, ActivityLog& log,
        Clock& clock, QObject* parent = nullptr);

    bool running() const { return m_running; }
    int intervalMs() const { return IntervalMs; }

    void run();
    void stop();
    void setRunning(bool running);

    // The window survey, idle detection and the process survey, in this order. A tick
    // that arrives while one is still under way (a window showing itself may let events
    // run) is dropped.
    void tick();

    WindowSurvey& windowSurvey() { return m_windowSurvey; }
    IdleDetector& idleDetector() { return m_idleDetector; }
    ProcessSurvey& processSurvey() { return m_processSurvey; }

signals:
    void runningChanged(bool running);

private:
    WindowSurvey m_windowSurvey;
    IdleDetector m_idleDetector;
    ProcessSurvey m_processSurvey;
    bool m_running = false;
    bool m_inTick = false;
};

} // namespace Tollgate
