#include "SplashWindow.h"

#include "forms/Twips.h"
#include "forms/WindowPlacement.h"
#include "lang/ProgramPaths.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVersionNumber>

namespace Tollgate {

namespace {

    constexpr int DesignWidth = 6750;
    constexpr int DesignHeight = 4050;

    bool closingKey(const QKeyEvent& event)
    {
        return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter || event.key() == Qt::Key_Escape;
    }

    // The picture: a toll gate at dusk, its barrier down across the road, in a frame of
    // 450 by 270 units that is scaled to the window.
    void drawPicture(QPainter& painter, const QSize& size)
    {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size.width() / 450.0, size.height() / 270.0);

        QLinearGradient sky(0, 0, 0, 170);
        sky.setColorAt(0, QColor(24, 42, 92));
        sky.setColorAt(0.7, QColor(112, 96, 150));
        sky.setColorAt(1, QColor(245, 160, 90));
        painter.fillRect(QRectF(0, 0, 450, 170), sky);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 214, 130));
        painter.drawEllipse(QRectF(300, 138, 64, 64));

        painter.setBrush(QColor(52, 70, 48));
        painter.drawRect(QRectF(0, 166, 450, 104));
        QPainterPath road;
        road.moveTo(200, 166);
        road.lineTo(250, 166);
        road.lineTo(420, 270);
        road.lineTo(30, 270);
        road.closeSubpath();
        painter.setBrush(QColor(70, 70, 78));
        painter.drawPath(road);
        painter.setBrush(QColor(230, 220, 160));
        for (int dash = 0; dash < 5; ++dash) {
            const qreal top = 172 + dash * 20;
            const qreal half = 1 + dash * 1.2;
            painter.drawRect(QRectF(225 - half, top, half * 2, 10));
        }

        // The booth.
        painter.setBrush(QColor(225, 225, 215));
        painter.drawRect(QRectF(318, 110, 62, 82));
        painter.setBrush(QColor(170, 40, 40));
        painter.drawRect(QRectF(312, 100, 74, 14));
        painter.setBrush(QColor(140, 200, 230));
        painter.drawRect(QRectF(328, 124, 42, 28));
        painter.setBrush(QColor(230, 30, 30));
        painter.drawEllipse(QRectF(343, 160, 12, 12));

        // The barrier: a striped boom on a post, lowered across the road.
        painter.setBrush(QColor(60, 60, 60));
        painter.drawRect(QRectF(300, 160, 12, 46));
        painter.save();
        painter.translate(306, 170);
        painter.rotate(-2);
        const qreal boomLength = 250;
        for (int stripe = 0; stripe < 10; ++stripe) {
            painter.setBrush(stripe % 2 == 0 ? QColor(220, 30, 30) : QColor(245, 245, 245));
            painter.drawRect(QRectF(-boomLength + stripe * boomLength / 10, -4, boomLength / 10 + 0.5, 8));
        }
        painter.restore();

        QFont title(QStringLiteral("Sans Serif"));
        title.setPixelSize(46);
        title.setBold(true);
        painter.setFont(title);
        painter.setPen(QColor(0, 0, 0, 90));
        painter.drawText(QPointF(24, 62), QStringLiteral("Tollgate"));
        painter.setPen(Qt::white);
        painter.drawText(QPointF(22, 60), QStringLiteral("Tollgate"));
        QFont subtitle = title;
        subtitle.setPixelSize(15);
        subtitle.setBold(false);
        painter.setFont(subtitle);
        painter.setPen(QColor(235, 235, 255));
        painter.drawText(QPointF(24, 84), QStringLiteral("Blocking Windows and Processes"));

        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 150));
        painter.drawRect(QRectF(0, 212, 450, 58));
    }

} // namespace

QString SplashWindow::address()
{
    return ProgramPaths::forExecutable(QCoreApplication::applicationDirPath()).helpPage();
}

SplashWindow::SplashWindow(Platform::Platform& platform, QString helpPage, QWidget* parent)
    : QDialog(parent)
    , m_platform(platform)
    , m_helpPage(std::move(helpPage))
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Tollgate"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(Twips::forWidget(*this).size(DesignWidth, DesignHeight));

    QPalette text = palette();
    text.setColor(QPalette::WindowText, Qt::white);
    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("lblInfo"));
    m_info->setPalette(text);
    placeTwips(*m_info, 240, 3300, 4200, 285);
    m_address = new QLabel(m_helpPage, this);
    m_address->setObjectName(QStringLiteral("lblURL"));
    QPalette link = palette();
    link.setColor(QPalette::WindowText, QColor(150, 200, 255));
    m_address->setPalette(link);
    QFont underlined = m_address->font();
    underlined.setUnderline(true);
    m_address->setFont(underlined);
    m_address->setCursor(Qt::PointingHandCursor);
    placeTwips(*m_address, 240, 3630, 4200, 285);
    m_address->adjustSize();
    for (QLabel* label : {m_info, m_address})
        label->installEventFilter(this);

    m_closeTimer = new QTimer(this);
    m_closeTimer->setObjectName(QStringLiteral("TimerClose"));
    m_closeTimer->setSingleShot(true);
    m_closeTimer->setInterval(CloseAfterMs);
    connect(m_closeTimer, &QTimer::timeout, this, &QWidget::close);

    Initialize();
    // The three seconds count from the end of the initialisation.
    m_closeTimer->start();
    centreOnScreen(*this);
}

QString SplashWindow::versionText(const QString& version)
{
    const QVersionNumber number = QVersionNumber::fromString(version);
    return QStringLiteral("Version %1.%2 Build %3")
        .arg(number.majorVersion())
        .arg(number.minorVersion())
        .arg(number.microVersion());
}

void SplashWindow::Initialize()
{
    m_info->setText(versionText(QStringLiteral(TOLLGATE_VERSION)));
    m_info->adjustSize();
}

bool SplashWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        SetTopMost(*this, m_platform.windows());
    return QDialog::event(event);
}

bool SplashWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Clicks on the labels stay there: only a click on the picture closes the window.
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
        return true;
    if (type == QEvent::MouseButtonRelease) {
        if (watched == m_address)
            m_platform.shell().open(m_helpPage);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SplashWindow::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape close on their release, not here.
    if (closingKey(*event))
        event->accept();
    else
        QDialog::keyPressEvent(event);
}

void SplashWindow::keyReleaseEvent(QKeyEvent* event)
{
    if (closingKey(*event) && !event->isAutoRepeat())
        close();
    else
        QDialog::keyReleaseEvent(event);
}

void SplashWindow::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    close();
}

void SplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawPicture(painter, size());
}

} // namespace Tollgate
