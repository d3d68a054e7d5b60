#include "WindowSurvey.h"

#include "ActivityLog.h"
#include "SurveyNotifier.h"
#include "lang/ActionCodes.h"
#include "platform/WindowSystem.h"
#include "profile/TextFile.h"
#include "store/RuleSet.h"

namespace Tollgate {

WindowSurvey::WindowSurvey(
    const RuleSet& rules, Platform::WindowSystem& windows, SurveyNotifier& notifier, ActivityLog& log)
    : m_rules(rules)
    , m_windows(windows)
    , m_notifier(notifier)
    , m_log(log)
{ }

WindowSurvey::CompiledRow& WindowSurvey::compiled(int row, const QString& pattern)
{
    while (m_compiled.size() < row)
        m_compiled.append({QString(), TitlePattern(QString()), std::nullopt});
    CompiledRow& compiledRow = m_compiled[row - 1];
    if (compiledRow.text != pattern)
        compiledRow = {pattern, TitlePattern(pattern), std::nullopt};
    return compiledRow;
}

void WindowSurvey::SurveyWindows()
{
    const Platform::WindowId window = m_windows.foregroundWindow();
    if (window == 0)
        return;
    const QString title = TextFile::leftChars(
        m_windows.windowTitle(window), static_cast<int>(Platform::WindowSystem::MaxTitleLength));
    const RuleTable& rules = m_rules.windowRules();
    if (title != m_lastTitle) {
        m_lastTitle = title;
        for (CompiledRow& row : m_compiled)
            row.matchesLastTitle.reset();
    } else if (!m_acted && rules.revision() == m_surveyedRevision) {
        return;
    }
    m_acted = false;
    m_surveyedRevision = rules.revision();
    std::optional<QList<char32_t>> lowerTitle;

    const int count = rules.count();
    if (m_compiled.size() > count)
        m_compiled.erase(m_compiled.begin() + count, m_compiled.end());
    for (int n = 1; n <= count; ++n) {
        const QString& pattern = rules.cell(n, RuleSet::WindowPattern);
        CompiledRow& row = compiled(n, pattern);
        if (!row.matchesLastTitle) {
            if (!lowerTitle)
                lowerTitle = TitlePattern::lowerCaseCharacters(title);
            row.matchesLastTitle = row.pattern.matchesLowerCase(*lowerTitle);
        }
        if (!*row.matchesLastTitle)
            continue;
        const auto action = static_cast<WindowAction>(WindowActionCode(rules.cell(n, RuleSet::WindowAction)));
        m_acted = m_acted || action == WindowAction::Block || action == WindowAction::BringToFront;
        // Our own password prompt and message windows are the administrator's only way
        // back: no rule, however wide its pattern, closes or raises them.
        if ((action == WindowAction::Block || action == WindowAction::BringToFront)
            && m_windows.isOwnWindow(window, m_notifier.ownWindows()))
            return;
        switch (action) {
        case WindowAction::Block: {
            // The row is copied: showing the message may let events run that edit the rules.
            const QString matched = pattern;
            const QString actionText = rules.cell(n, RuleSet::WindowAction);
            m_windows.postCloseRequest(window);
            m_notifier.showBlockMessage();
            m_log.WriteLog(
                title, matched, ActivityLog::Event::Blocked, {.rule = matched, .action = actionText});
            return;
        }
        case WindowAction::BringToFront:
            m_windows.setTopMost(window, true);
            return;
        case WindowAction::Ignore:
        default:
            break; // an Ignore row shields nothing: later rows still apply
        }
    }
}

} // namespace Tollgate
