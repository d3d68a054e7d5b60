#pragma once

#include "forms/CountdownDialog.h"

#include <QSizeF>

class QLabel;
class QPushButton;

namespace Tollgate {

class PictureBox;
class RuleSet;
// frmUserMessage: tells the user what the survey did (block mode, "Interdict") or is
// about to do (timeout mode, "Timeout"). Shown without waiting; counts down from 15 in its
// title and then closes itself. Closing hides it and resets its controls, but its three
// state values carry over to the next showing.
class UserMessageWindow : public CountdownDialog
{
    Q_OBJECT

public:
    static const QString DesignTitle;
    static const QString InterdictAction;
    static const QString TimeoutAction;

    UserMessageWindow(const RuleSet& rules, const MessageCatalogue& catalogue,
        Platform::WindowSystem& windows, QWidget* parent = nullptr);

    void ShowBlockMessage();
    void ShowTimeoutMessage();

    void setAction(const QString& action) { m_currentAction = action; }
    // Fits the panel, the button and the window to the message label.
    void AdjustSize();

    const QString& currentAction() const { return m_currentAction; }
    // The window's outer size in twips as the last AdjustSize worked it out.
    QSizeF outerSizeTwips() const { return m_outerTwips; }

    // The button, and any other way of closing the window: no action in either mode.
    void cmdOK_Click();

    // Outer sizes include a classic dialog frame of this height, which the desktop's own
    // frame replaces; the client area is the rest.
    static constexpr int DesignFrameHeight = 360;

signals:
    // A timeout countdown ran out: the idle processes are to be closed.
    void idleTimeoutExpired();

protected:
    void countdownEnded() override;
    void reject() override;

private:
    void showMessage(
        const QString& action, const QPixmap& picture, const QString& buttonKey, const QString& text);

    const RuleSet& m_rules;

    PictureBox* m_panel = nullptr;
    PictureBox* m_picture = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_ok = nullptr;

    QString m_currentAction;
    QSizeF m_outerTwips;
};

} // namespace Tollgate
