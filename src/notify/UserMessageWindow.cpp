#include "UserMessageWindow.h"

#include "NotifyPictures.h"
#include "forms/PictureBox.h"
#include "forms/Twips.h"
#include "forms/WindowPlacement.h"
#include "lang/MessageCatalogue.h"
#include "store/RuleSet.h"

#include <QLabel>
#include <QPushButton>

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
    : CountdownDialog(DesignTitle, catalogue, windows, parent)
    , m_rules(rules)
{
    setObjectName(QStringLiteral("frmUserMessage"));

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
    setAction(action);
    m_picture->setPixmap(picture);
    m_ok->setText(m_catalogue.MessageText(buttonKey));
    // Messages keep CR LF pairs; a label breaks lines at line feeds only.
    m_message->setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    AdjustSize();
    showCounting();
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

void UserMessageWindow::countdownEnded()
{
    if (m_currentAction == TimeoutAction)
        emit idleTimeoutExpired();
}

void UserMessageWindow::cmdOK_Click()
{
    discard();
}

void UserMessageWindow::reject()
{
    cmdOK_Click();
}

} // namespace Tollgate
