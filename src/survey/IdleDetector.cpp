#include "IdleDetector.h"

#include "SurveyNotifier.h"
#include "platform/InputDevices.h"
#include "store/RuleSet.h"

#include <cmath>
#include <utility>

namespace Tollgate {

IdleDetector::IdleDetector(const RuleSet& rules, Platform::InputDevices& input, SurveyNotifier& notifier)
    : m_rules(rules)
    , m_input(input)
    , m_notifier(notifier)
{ }

bool IdleDetector::anyPolledKeyActive()
{
    for (int key = Platform::InputDevices::FirstPolledKey; key <= Platform::InputDevices::LastPolledKey;
         ++key) {
        if (m_input.keyActive(key))
            return true;
    }
    return false;
}

void IdleDetector::SurveyIdle(int intervalMs)
{
    const bool tick = intervalMs > 0;
    // The timeout test comes first: the message follows the first tick that finds the
    // time counted up to the previous tick above the setting.
    if (tick && m_idleMs > m_rules.idleTime() * 1000) {
        if (!m_idleWarned)
            m_notifier.showTimeoutMessage();
        m_idleMs = 0;
        m_idleWarned = true;
    }

    const QPoint cursor = m_input.cursorPosition();
    const bool unmoved = cursor.x() == m_lastCursorX && cursor.y() == m_lastCursorY;

    // Without a screen there is no corner: the prompt would come on every tick.
    const QSize screen = m_input.primaryScreenSize();
    if (!screen.isEmpty() && cursor.x() + CornerSize >= screen.width()
        && cursor.y() + CornerSize >= screen.height()) {
        m_input.setCursorPosition(QPoint(static_cast<int>(std::nearbyint(screen.width() / 2.0)),
            static_cast<int>(std::nearbyint(screen.height() / 2.0))));
        m_notifier.showPasswordPrompt();
    }
    m_lastCursorX = cursor.x();
    m_lastCursorY = cursor.y();

    if (!tick) {
        // Keys keep their "pressed since the last query" until the tick asks.
        m_movedSinceTick = m_movedSinceTick || !unmoved;
        return;
    }
    const bool moved = !unmoved || std::exchange(m_movedSinceTick, false);
    if (!moved && !anyPolledKeyActive()) {
        m_idleMs += intervalMs;
    } else {
        m_idleMs = 0;
        m_idleWarned = false;
    }
}

} // namespace Tollgate
