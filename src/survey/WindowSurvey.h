#pragma once

#include "TitlePattern.h"

#include <QList>
#include <QString>
#include <optional>

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
    struct CompiledRow
    {
        QString text;
        TitlePattern pattern;
        // Whether it matches m_lastTitle; no value until asked.
        std::optional<bool> matchesLastTitle;
    };
    // The patterns as compiled on the last tick, by row; a row whose text changed is
    // compiled again.
    CompiledRow& compiled(int row, const QString& pattern);

    const RuleSet& m_rules;
    Platform::WindowSystem& m_windows;
    SurveyNotifier& m_notifier;
    ActivityLog& m_log;
    QList<CompiledRow> m_compiled;
    // A title that stays is not matched again on every survey.
    QString m_lastTitle;
    // With the same title and the same rules, a survey that matched no rule that acts
    // has nothing to do.
    bool m_acted = true;
    quint64 m_surveyedRevision = 0;
};

} // namespace Tollgate
