#include "CountdownDialog.h"

#include "Twips.h"
#include "WindowPlacement.h"

#include <QEvent>
#include <QTimer>

namespace Tollgate {

CountdownDialog::CountdownDialog(const QString& designTitle, const MessageCatalogue& catalogue,
    Platform::WindowSystem& windows, QWidget* parent)
    : QDialog(parent)
    , m_catalogue(catalogue)
    , m_windows(windows)
    , m_designTitle(designTitle)
{
    setWindowTitle(designTitle);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // The program ends when the main window closes, never because of these windows.
    setAttribute(Qt::WA_QuitOnClose, false);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timer->setInterval(TickMs);
    connect(m_timer, &QTimer::timeout, this, &CountdownDialog::Timer_Timer);
}

void CountdownDialog::showCounting()
{
    setTimeOut(CountdownSeconds);
    if (isVisible())
        return;
    setWindowTitle(m_designTitle);
    m_centreOnShow = true;
    m_timer->start();
    show();
}

void CountdownDialog::Timer_Timer()
{
    if (m_baseCaption.isEmpty())
        m_baseCaption = windowTitle();
    setWindowTitle(m_baseCaption + QStringLiteral(" (") + QString::number(m_secondsLeft) + u')');
    if (m_secondsLeft < 1) {
        countdownEnded();
        discard();
    }
    --m_secondsLeft;
}

void CountdownDialog::discard()
{
    m_timer->stop();
    hide();
}

void CountdownDialog::showEvent(QShowEvent* event)
{
    // Centred once the window exists, so that its frame counts.
    if (m_centreOnShow) {
        m_centreOnShow = false;
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

bool CountdownDialog::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        TranslateForm(*this, m_catalogue);
        SetTopMost(*this, m_windows);
    }
    return QDialog::event(event);
}

} // namespace Tollgate
