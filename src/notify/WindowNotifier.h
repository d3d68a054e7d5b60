#pragma once

#include "survey/SurveyNotifier.h"

#include <QObject>
#include <memory>

namespace Tollgate {

class MessageCatalogue;
class PasswordPrompt;
class RuleSet;
class SurveyCycle;
class UserMessageWindow;
namespace Platform {
    class WindowSystem;
}

// Shows the survey's messages and the password prompt in their windows. Each window is
// made on first use and then lives as long as this object.
class WindowNotifier : public QObject, public SurveyNotifier
{
    Q_OBJECT

public:
    WindowNotifier(const RuleSet& rules, const MessageCatalogue& catalogue, Platform::WindowSystem& windows);
    ~WindowNotifier() override;

    // The survey is made with this notifier, so it is handed over afterwards; the windows
    // need it before they show.
    void setSurvey(SurveyCycle& survey) { m_survey = &survey; }

    void showBlockMessage() override;
    void showTimeoutMessage() override;
    void showPasswordPrompt() override;
    Platform::OwnWindows ownWindows() const override;

    UserMessageWindow& messageWindow();
    PasswordPrompt& passwordPrompt();

signals:
    // The right password stopped the survey: the main window is to show.
    void unlocked();

private:
    const RuleSet& m_rules;
    const MessageCatalogue& m_catalogue;
    Platform::WindowSystem& m_windows;
    SurveyCycle* m_survey = nullptr;
    std::unique_ptr<UserMessageWindow> m_message;
    std::unique_ptr<PasswordPrompt> m_prompt;
};

} // namespace Tollgate
