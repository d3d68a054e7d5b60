#pragma once

namespace Tollgate {

class RuleSet;
class SurveyNotifier;
namespace Platform {
    class InputDevices;
}

// Counts the time without keyboard or mouse activity and shows the timeout message once
// per idle period; also watches for the administrator's corner gesture. Its state lives
// as long as the program: Run and Stop do not touch it.
class IdleDetector
{
public:
    // The gesture fires within this many pixels of the bottom-right corner.
    static constexpr int CornerSize = 10;

    IdleDetector(const RuleSet& rules, Platform::InputDevices& input, SurveyNotifier& notifier);

    // One tick's worth of idle detection; intervalMs is the survey timer's interval. A
    // survey between ticks passes 0: it watches the corner and notes activity for the
    // next tick, but counts no time and shows no timeout message, so that extra surveys
    // never bring the timeout sooner.
    void SurveyIdle(int intervalMs);

    int idleMs() const { return m_idleMs; }
    bool idleWarned() const { return m_idleWarned; }

private:
    bool anyPolledKeyActive();

    const RuleSet& m_rules;
    Platform::InputDevices& m_input;
    SurveyNotifier& m_notifier;

    // Counted in whole milliseconds, so that ticks add up without rounding drift.
    int m_idleMs = 0;
    int m_lastCursorX = 0;
    int m_lastCursorY = 0;
    bool m_idleWarned = false;
    bool m_movedSinceTick = false; // seen by a survey between ticks
};

} // namespace Tollgate
