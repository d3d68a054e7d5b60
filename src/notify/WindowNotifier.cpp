#include "WindowNotifier.h"

#include "PasswordPrompt.h"
#include "UserMessageWindow.h"
#include "forms/WindowPlacement.h"
#include "survey/SurveyCycle.h"

namespace Tollgate {

WindowNotifier::WindowNotifier(
    const RuleSet& rules, const MessageCatalogue& catalogue, Platform::WindowSystem& windows)
    : m_rules(rules)
    , m_catalogue(catalogue)
    , m_windows(windows)
{ }

WindowNotifier::~WindowNotifier() = default;

UserMessageWindow& WindowNotifier::messageWindow()
{
    if (!m_message) {
        Q_ASSERT(m_survey);
        m_message = std::make_unique<UserMessageWindow>(m_rules, m_catalogue, m_windows);
        // Whether or not the survey still runs: a countdown that was shown ends as it said.
        connect(m_message.get(), &UserMessageWindow::idleTimeoutExpired, this,
            [this] { m_survey->processSurvey().CloseIdleProcesses(); });
    }
    return *m_message;
}

PasswordPrompt& WindowNotifier::passwordPrompt()
{
    if (!m_prompt) {
        Q_ASSERT(m_survey);
        m_prompt = std::make_unique<PasswordPrompt>(m_rules, *m_survey, m_catalogue, m_windows);
        connect(m_prompt.get(), &PasswordPrompt::unlocked, this, &WindowNotifier::unlocked);
    }
    return *m_prompt;
}

void WindowNotifier::showBlockMessage()
{
    messageWindow().ShowBlockMessage();
}

void WindowNotifier::showTimeoutMessage()
{
    messageWindow().ShowTimeoutMessage();
}

void WindowNotifier::showPasswordPrompt()
{
    passwordPrompt().ShowPasswordPrompt();
}

Platform::OwnWindows WindowNotifier::ownWindows() const
{
    return ShownOwnWindows();
}

} // namespace Tollgate
