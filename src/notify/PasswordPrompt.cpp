#include "PasswordPrompt.h"

#include "NotifyPictures.h"
#include "lang/MessageCatalogue.h"
#include "store/RuleSet.h"
#include "survey/SurveyCycle.h"
#include "ui/PictureBox.h"
#include "ui/Twips.h"
#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace Tollgate {

const QString PasswordPrompt::DesignTitle = QStringLiteral("Enter Tollgate Password");

PasswordPrompt::PasswordPrompt(const RuleSet& rules, SurveyCycle& survey, const MessageCatalogue& catalogue,
    Platform::WindowSystem& windows, QWidget* parent)
    : QDialog(parent)
    , m_rules(rules)
    , m_survey(survey)
    , m_catalogue(catalogue)
    , m_windows(windows)
{
    setObjectName(QStringLiteral("frmPassword"));
    setWindowTitle(DesignTitle);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(Twips::forWidget(*this).size(4815, 2400));

    auto* band = addControl<PictureBox>(QStringLiteral("pciTitle"), this);
    band->fillWith(QPalette::Base);
    placeTwips(*band, 0, 0, 4815, 855);
    auto* picture = addControl<PictureBox>(QStringLiteral("picInfo"), band);
    placeTwips(*picture, 120, 120, 615, 615);
    picture->setPixmap(NotifyPictures::padlock(Twips::forWidget(*this).x(615)));
    auto* info
        = addControl<QLabel>(QStringLiteral("lblInfo"), QStringLiteral("Enter Tollgate Password"), band);
    placeTwips(*info, 960, 240, 3735, 495);
    QFont bold = info->font();
    bold.setPointSizeF(9.75);
    bold.setBold(true);
    info->setFont(bold);
    info->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* frame = addControl<QGroupBox>(QStringLiteral("frameWidow"), QStringLiteral("Password"), this);
    placeTwips(*frame, 120, 960, 4575, 795);
    m_password = addControl<QLineEdit>(QStringLiteral("txtPassword"), frame);
    placeTwips(*m_password, 240, 360, 4095, 285);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    m_ok = addControl<QPushButton>(QStringLiteral("cmdOK"), QStringLiteral("&OK"), this);
    placeTwips(*m_ok, 1680, 1875, 1455, 375);
    // Enter in the field presses OK through the dialog's default button.
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &PasswordPrompt::cmdOK_Click);
    auto* cancel = addControl<QPushButton>(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"), this);
    placeTwips(*cancel, 3240, 1875, 1455, 375);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &PasswordPrompt::cmdCancel_Click);

    m_timer = addControl<QTimer>(QStringLiteral("Timer"), this);
    m_timer->setInterval(TickMs);
    connect(m_timer, &QTimer::timeout, this, &PasswordPrompt::Timer_Timer);
}

void PasswordPrompt::ShowPasswordPrompt()
{
    setTimeOut(CountdownSeconds);
    if (!isVisible()) {
        setWindowTitle(DesignTitle);
        m_password->clear();
        m_centreOnShow = true;
        m_timer->start();
        show();
    }
    activateWindow();
    m_password->setFocus();
    SetTopMost(*this, m_windows);
}

void PasswordPrompt::cmdOK_Click()
{
    // Whole texts, letter case significant, nothing trimmed; a wrong one is not reported.
    if (m_password->text() != m_rules.password())
        return;
    m_survey.stop();
    emit unlocked();
    discard();
}

void PasswordPrompt::cmdCancel_Click()
{
    discard();
}

void PasswordPrompt::reject()
{
    cmdCancel_Click();
}

void PasswordPrompt::Timer_Timer()
{
    if (m_baseCaption.isEmpty())
        m_baseCaption = windowTitle();
    setWindowTitle(m_baseCaption + QStringLiteral(" (") + QString::number(m_secondsLeft) + u')');
    if (m_secondsLeft < 1)
        discard();
    --m_secondsLeft;
}

void PasswordPrompt::discard()
{
    m_timer->stop();
    hide();
}

void PasswordPrompt::showEvent(QShowEvent* event)
{
    // Centred once the window exists, so that its frame counts.
    if (m_centreOnShow) {
        m_centreOnShow = false;
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

bool PasswordPrompt::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        SetTopMost(*this, m_windows);
        TranslateForm(*this, m_catalogue);
    }
    return QDialog::event(event);
}

} // namespace Tollgate
