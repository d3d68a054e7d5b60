#pragma once

#include "ui/Form.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTimer;

namespace Tollgate {

class MessageCatalogue;
class RuleSet;
class SurveyCycle;
namespace Platform {
    class WindowSystem;
}

// frmPassword: the administrator's way back while the survey runs. The rule set's
// password stops the survey; the prompt counts down from 15 in its title and then closes
// itself. Closing hides it and resets its controls, but its state values carry over.
class PasswordPrompt : public QDialog, public Form
{
    Q_OBJECT

public:
    static const QString DesignTitle;
    static constexpr int CountdownSeconds = 15;
    static constexpr int TickMs = 1000;

    PasswordPrompt(const RuleSet& rules, SurveyCycle& survey, const MessageCatalogue& catalogue,
        Platform::WindowSystem& windows, QWidget* parent = nullptr);

    QWidget& formWidget() override { return *this; }

    void ShowPasswordPrompt();
    void setTimeOut(int seconds) { m_secondsLeft = seconds; }

    int secondsLeft() const { return m_secondsLeft; }
    const QString& baseCaption() const { return m_baseCaption; }

    // The password check; Enter in the field presses it too.
    void cmdOK_Click();
    // Cancel, Escape and any other way of closing the prompt.
    void cmdCancel_Click();
    // One tick of the countdown; the prompt's timer calls it every second.
    void Timer_Timer();

signals:
    // The right password was entered and the survey stopped: the main window is to show.
    void unlocked();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void discard();

    const RuleSet& m_rules;
    SurveyCycle& m_survey;
    const MessageCatalogue& m_catalogue;
    Platform::WindowSystem& m_windows;

    QLineEdit* m_password = nullptr;
    QPushButton* m_ok = nullptr;
    QTimer* m_timer = nullptr;

    bool m_centreOnShow = false;
    int m_secondsLeft = 0;
    QString m_baseCaption;
};

} // namespace Tollgate
