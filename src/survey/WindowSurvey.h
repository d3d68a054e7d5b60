#pragma once

#include "TitlePattern.h"

#include <QList>

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
    // The patterns as compiled on the last tick, by row; a row whose text changed is
    // compiled again.
    const TitlePattern& compiled(int row, const QString& pattern);

    const RuleSet& m_rules;
    Platform::WindowSystem& m_windows;
    SurveyNotifier& m_notifier;
    ActivityLog& m_log;
    QList<std::pair<QString, TitlePattern>> m_compiled;
};

} // namespace Tollgate
