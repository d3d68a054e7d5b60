#pragma once

#include "forms/CountdownDialog.h"

class QLineEdit;
class QPushButton;

namespace Tollgate {

class RuleSet;
class SurveyCycle;

// frmPassword: the administrator's way back while the survey runs. The rule set's
// password stops the survey; the prompt counts down from 15 in its title and then closes
// itself. Closing hides it and resets its controls, but its state values carry over.
class PasswordPrompt : public CountdownDialog
{
    Q_OBJECT

public:
    static const QString DesignTitle;

    PasswordPrompt(const RuleSet& rules, SurveyCycle& survey, const MessageCatalogue& catalogue,
        Platform::WindowSystem& windows, QWidget* parent = nullptr);

    void ShowPasswordPrompt();

    // The password check; Enter in the field presses it too.
    void cmdOK_Click();
    // Cancel, Escape and any other way of closing the prompt.
    void cmdCancel_Click();

signals:
    // The right password was entered and the survey stopped: the main window is to show.
    void unlocked();

protected:
    void reject() override;

private:
    const RuleSet& m_rules;
    SurveyCycle& m_survey;

    QLineEdit* m_password = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace Tollgate
