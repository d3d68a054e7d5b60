#include "UserMessageWindow.h"

#include "NotifyPictures.h"
#include "lang/MessageCatalogue.h"
#include "store/RuleSet.h"
#include "ui/PictureBox.h"
#include "ui/Twips.h"
#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace Tollgate {

namespace {

    // Design layout in twips.
    constexpr int PanelTop = 0;
    constexpr int PictureLeft = 120;
    constexpr int PictureTop = 120;
    constexpr int PictureSide = 735;
    constexpr int MessageLeft = 1200;
    constexpr int MessageTop = 360;
    constexpr int ButtonWidth = 1455;
    constexpr int ButtonHeight = 375;

    constexpr float TwipsPerInch = 1440.0f;

    float toTwips(int pixels, qreal dotsPerInch)
    {
        return static_cast<float>(pixels) * TwipsPerInch / static_cast<float>(dotsPerInch);
    }

    int toPixels(float twips, qreal dotsPerInch)
    {
        return qRound(twips * static_cast<float>(dotsPerInch) / TwipsPerInch);
    }

} // namespace

const QString UserMessageWindow::DesignTitle = QStringLiteral("Tollgate Message");
const QString UserMessageWindow::InterdictAction = QStringLiteral("Interdict");
const QString UserMessageWindow::TimeoutAction = QStringLiteral("Timeout");

UserMessageWindow::UserMessageWindow(
    const RuleSet& rules, const MessageCatalogue& catalogue, Platform::WindowSystem& windows, QWidget* parent)
    : QDialog(parent)
    , m_rules(rules)
    , m_catalogue(catalogue)
    , m_windows(windows)
{
    setObjectName(QStringLiteral("frmUserMessage"));
    setWindowTitle(DesignTitle);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // The program ends when the main window closes, never because of this window.
    setAttribute(Qt::WA_QuitOnClose, false);

    m_panel = addControl<PictureBox>(QStringLiteral("PicInfo"), this);
    m_panel->fillWith(QPalette::Base);
    m_picture = addControl<PictureBox>(QStringLiteral("picMessage"), m_panel);
    placeTwips(*m_picture, PictureLeft, PictureTop, PictureSide, PictureSide);
    m_message = addControl<QLabel>(QStringLiteral("lblMessage"), m_panel);
    m_message->setTextFormat(Qt::PlainText);
    m_message->move(Twips::forWidget(*this).x(MessageLeft), Twips::forWidget(*this).y(MessageTop));
    QPalette red = m_message->palette();
    red.setColor(QPalette::WindowText, QColor(215, 0, 0));
    m_message->setPalette(red);
    QFont font = m_message->font();
    font.setBold(true);
    m_message->setFont(font);

    m_ok = addControl<QPushButton>(QStringLiteral("cmdOK"), QStringLiteral("&OK"), this);
    placeTwips(*m_ok, 2040, 1680, ButtonWidth, ButtonHeight);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &UserMessageWindow::cmdOK_Click);

    m_timer = addControl<QTimer>(QStringLiteral("Timer"), this);
    m_timer->setInterval(TickMs);
    connect(m_timer, &QTimer::timeout, this, &UserMessageWindow::Timer_Timer);
}

void UserMessageWindow::ShowBlockMessage()
{
    showMessage(InterdictAction, NotifyPictures::blocked(Twips::forWidget(*this).x(PictureSide)),
        QStringLiteral("CAPTION_OK"), m_rules.blockMessage());
}

void UserMessageWindow::ShowTimeoutMessage()
{
    showMessage(TimeoutAction, NotifyPictures::idle(Twips::forWidget(*this).x(PictureSide)),
        QStringLiteral("CAPTION_CANCEL"), m_rules.timeoutMessage());
}

void UserMessageWindow::showMessage(
    const QString& action, const QPixmap& picture, const QString& buttonKey, const QString& text)
{
    setTimeOut(CountdownSeconds);
    setAction(action);
    m_picture->setPixmap(picture);
    m_ok->setText(m_catalogue.MessageText(buttonKey));
    // Messages keep CR LF pairs; a label breaks lines at line feeds only.
    m_message->setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    AdjustSize();
    if (!isVisible()) {
        // A fresh window: the design title, centred, and a timer of its own. A window
        // already on screen keeps its place and its timer.
        setWindowTitle(DesignTitle);
        m_centreOnShow = true;
        m_timer->start();
        show();
    }
    activateWindow();
    SetTopMost(*this, m_windows);
}

void UserMessageWindow::AdjustSize()
{
    const qreal dpiX = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    const qreal dpiY = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    // Measured with the fonts the window will show, which polishing settles.
    ensurePolished();
    m_message->ensurePolished();
    m_message->adjustSize();
    const float labelWidth = toTwips(m_message->width(), dpiX);
    const float labelHeight = toTwips(m_message->height(), dpiY);

    const float panelHeight = labelHeight + MessageTop + 400.0f;
    const float panelWidth = labelWidth + MessageLeft + 600.0f;
    const float buttonTop = panelHeight + PanelTop + 200.0f;
    const float windowHeight = ButtonHeight + buttonTop + 500.0f;
    const float windowWidth = panelWidth;
    const float buttonLeft = windowWidth / 2.0f - ButtonWidth / 2.0f;
    m_outerTwips = QSizeF(windowWidth, windowHeight);

    m_panel->setGeometry(0, PanelTop, toPixels(panelWidth, dpiX), toPixels(panelHeight, dpiY));
    m_ok->setGeometry(toPixels(buttonLeft, dpiX), toPixels(buttonTop, dpiY), toPixels(ButtonWidth, dpiX),
        toPixels(ButtonHeight, dpiY));
    setFixedSize(toPixels(windowWidth, dpiX), toPixels(windowHeight - DesignFrameHeight, dpiY));
}

void UserMessageWindow::Timer_Timer()
{
    if (m_baseCaption.isEmpty())
        m_baseCaption = windowTitle();
    setWindowTitle(m_baseCaption + QStringLiteral(" (") + QString::number(m_secondsLeft) + u')');
    if (m_secondsLeft < 1) {
        if (m_currentAction == TimeoutAction)
            emit idleTimeoutExpired();
        discard();
    }
    --m_secondsLeft;
}

void UserMessageWindow::cmdOK_Click()
{
    discard();
}

void UserMessageWindow::reject()
{
    cmdOK_Click();
}

void UserMessageWindow::discard()
{
    m_timer->stop();
    hide();
}

void UserMessageWindow::showEvent(QShowEvent* event)
{
    // Centred once the window exists, so that its frame counts.
    if (m_centreOnShow) {
        m_centreOnShow = false;
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

bool UserMessageWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        TranslateForm(*this, m_catalogue);
        SetTopMost(*this, m_windows);
    }
    return QDialog::event(event);
}

} // namespace Tollgate
