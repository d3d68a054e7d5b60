#pragma once

#include "ui/Form.h"

#include <QDialog>
#include <QSizeF>

class QLabel;
class QPushButton;
class QTimer;

namespace Tollgate {

class MessageCatalogue;
class PictureBox;
class RuleSet;
namespace Platform {
    class WindowSystem;
}

// frmUserMessage: tells the user what the survey did (block mode, "Interdict") or is
// about to do (timeout mode, "Timeout"). Shown without waiting; counts down from 15 in its
// title and then closes itself. Closing hides it and resets its controls, but its three
// state values carry over to the next showing.
class UserMessageWindow : public QDialog, public Form
{
    Q_OBJECT

public:
    static const QString DesignTitle;
    static const QString InterdictAction;
    static const QString TimeoutAction;
    static constexpr int CountdownSeconds = 15;
    static constexpr int TickMs = 1000;

    UserMessageWindow(const RuleSet& rules, const MessageCatalogue& catalogue,
        Platform::WindowSystem& windows, QWidget* parent = nullptr);

    QWidget& formWidget() override { return *this; }

    void ShowBlockMessage();
    void ShowTimeoutMessage();

    void setTimeOut(int seconds) { m_secondsLeft = seconds; }
    void setAction(const QString& action) { m_currentAction = action; }
    // Fits the panel, the button and the window to the message label.
    void AdjustSize();

    int secondsLeft() const { return m_secondsLeft; }
    const QString& currentAction() const { return m_currentAction; }
    const QString& baseCaption() const { return m_baseCaption; }
    // The window's outer size in twips as the last AdjustSize worked it out.
    QSizeF outerSizeTwips() const { return m_outerTwips; }

    // One tick of the countdown; the window's timer calls it every second.
    void Timer_Timer();
    // The button, and any other way of closing the window: no action in either mode.
    void cmdOK_Click();

    // Outer sizes include a classic dialog frame of this height, which the desktop's own
    // frame replaces; the client area is the rest.
    static constexpr int DesignFrameHeight = 360;

signals:
    // A timeout countdown ran out: the idle processes are to be closed.
    void idleTimeoutExpired();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void showMessage(
        const QString& action, const QPixmap& picture, const QString& buttonKey, const QString& text);
    void discard();

    const RuleSet& m_rules;
    const MessageCatalogue& m_catalogue;
    Platform::WindowSystem& m_windows;

    PictureBox* m_panel = nullptr;
    PictureBox* m_picture = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_ok = nullptr;
    QTimer* m_timer = nullptr;

    bool m_centreOnShow = false;
    int m_secondsLeft = 0;
    QString m_currentAction;
    QString m_baseCaption;
    QSizeF m_outerTwips;
};

} // namespace Tollgate
