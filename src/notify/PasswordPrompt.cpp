#include "PasswordPrompt.h"

#include "NotifyPictures.h"
#include "forms/PictureBox.h"
#include "forms/Twips.h"
#include "forms/WindowPlacement.h"
#include "lang/MessageCatalogue.h"
#include "store/RuleSet.h"
#include "survey/SurveyCycle.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace Tollgate {

const QString PasswordPrompt::DesignTitle = QStringLiteral("Enter Tollgate Password");

PasswordPrompt::PasswordPrompt(const RuleSet& rules, SurveyCycle& survey, const MessageCatalogue& catalogue,
    Platform::WindowSystem& windows, QWidget* parent)
    : CountdownDialog(DesignTitle, catalogue, windows, parent)
    , m_rules(rules)
    , m_survey(survey)
{
    setObjectName(QStringLiteral("frmPassword"));
    setFixedSize(Twips::forWidget(*this).size(4815, 2400));

    const HeaderBand header
        = addHeaderBand(*this, 4815, QSize(615, 615), QStringLiteral("Enter Tollgate Password"), 3735);
    header.picture->setPixmap(NotifyPictures::padlock(Twips::forWidget(*this).x(615)));

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
}

void PasswordPrompt::ShowPasswordPrompt()
{
    if (!isVisible())
        m_password->clear();
    showCounting();
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

} // namespace Tollgate
