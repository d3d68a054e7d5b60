#pragma once

#include "Form.h"

#include <QDialog>

class QTimer;

namespace Tollgate {

class MessageCatalogue;
namespace Platform {
    class WindowSystem;
}

// What the windows shown during the survey share: shown without waiting, counting down
// from 15 in the title and then closing themselves; topmost and translated on every
// activation. Closing hides them; the next showing starts afresh.
class CountdownDialog : public QDialog, public Form
{
    Q_OBJECT

public:
    static constexpr int CountdownSeconds = 15;
    static constexpr int TickMs = 1000;

    QWidget& formWidget() override { return *this; }

    void setTimeOut(int seconds) { m_secondsLeft = seconds; }
    int secondsLeft() const { return m_secondsLeft; }
    const QString& baseCaption() const { return m_baseCaption; }

    // One tick of the countdown; the window's timer calls it every second.
    void Timer_Timer();

protected:
    CountdownDialog(const QString& designTitle, const MessageCatalogue& catalogue,
        Platform::WindowSystem& windows, QWidget* parent);

    // Restarts the countdown; a window not on screen comes up fresh: its design title,
    // centred, with its timer running. A window already showing keeps its place and timer.
    void showCounting();
    // Runs when the countdown has reached zero, just before the window closes.
    virtual void countdownEnded() { }
    void discard();

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

    const MessageCatalogue& m_catalogue;
    Platform::WindowSystem& m_windows;

private:
    QString m_designTitle;
    QTimer* m_timer = nullptr;
    bool m_centreOnShow = false;
    int m_secondsLeft = 0;
    QString m_baseCaption;
};

} // namespace Tollgate
