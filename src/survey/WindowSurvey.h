#pragma once

namespace Tollgate {

class ActivityLog;
class RuleSet;
class SurveyNotifier;
namespace Platform {
    class WindowSystem;
}

// Matches the foreground window's title against the window rules, in their order, and
// applies the first rule that matches and blocks or brings to front.
class WindowSurvey
{
public:
    WindowSurvey(
        const RuleSet& rules, Platform::WindowSystem& windows, SurveyNotifier& notifier, ActivityLog& log);

    void SurveyWindows();

private:
    const RuleSet& m_rules;
    Platform::WindowSystem& m_windows;
    SurveyNotifier& m_notifier;
    ActivityLog& m_log;
};

} // namespace Tollgate
