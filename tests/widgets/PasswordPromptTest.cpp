#include "NotifyFixture.h"

#include <QLineEdit>
#include <QSignalSpy>

using namespace Tollgate;

namespace {

class PasswordPromptTest : public NotifyFixture
{
protected:
    void SetUp() override
    {
        NotifyFixture::SetUp();
        rules.setPassword(str("Open Sesame"));
        survey.run();
    }

    QLineEdit& field() { return child<QLineEdit>(prompt(), "txtPassword"); }

    // Types into the prompt's field as a person would, replacing what is there.
    void type(const QString& typed)
    {
        field().clear();
        QTest::keyClicks(&field(), typed);
    }
    void pressOk() { child<QPushButton>(prompt(), "cmdOK").click(); }
};

} // namespace

TEST_F(PasswordPromptTest, OnlyTheExactPasswordStopsTheSurveyAndEscapeCancels)
{
    QSignalSpy unlocked(&notifier, &WindowNotifier::unlocked);
    notifier.showPasswordPrompt();
    ASSERT_TRUE(prompt().isVisible());
    EXPECT_EQ(field().echoMode(), QLineEdit::Password);
    EXPECT_FALSE(prompt().testAttribute(Qt::WA_QuitOnClose));
    const auto id = static_cast<Platform::WindowId>(prompt().winId());
    EXPECT_TRUE(fake.windows().topMostCalls().contains(Platform::FakeWindowSystem::TopMostCall {id, true}));

    for (const char* wrong : {"open sesame", "Open Sesame ", " Open Sesame", "Open  Sesame", ""}) {
        type(str(wrong));
        pressOk();
        EXPECT_TRUE(prompt().isVisible()) << wrong;
        EXPECT_EQ(field().text(), str(wrong)) << "the entered text stays";
    }
    type(str("wrong"));
    QTest::keyClick(&field(), Qt::Key_Return);
    EXPECT_TRUE(prompt().isVisible());
    EXPECT_TRUE(survey.running());
    EXPECT_EQ(unlocked.count(), 0);

    type(str("Open Sesame"));
    QTest::keyClick(&field(), Qt::Key_Escape);
    EXPECT_FALSE(prompt().isVisible());
    EXPECT_TRUE(survey.running()) << "Cancel leaves the survey running";

    notifier.showPasswordPrompt();
    EXPECT_TRUE(field().text().isEmpty()) << "a fresh prompt starts empty";
    type(str("Open Sesame"));
    pressOk();
    EXPECT_FALSE(survey.running());
    EXPECT_EQ(unlocked.count(), 1);
    EXPECT_FALSE(prompt().isVisible());
}

TEST_F(PasswordPromptTest, AnEmptyPasswordIsAnsweredByEnterOnAnEmptyField)
{
    QSignalSpy unlocked(&notifier, &WindowNotifier::unlocked);
    rules.setPassword(QString());
    notifier.showPasswordPrompt();
    QTest::keyClick(&field(), Qt::Key_Enter);
    EXPECT_FALSE(survey.running());
    EXPECT_EQ(unlocked.count(), 1) << "Enter presses OK once";
    EXPECT_FALSE(prompt().isVisible());
}

TEST_F(PasswordPromptTest, CountsDownAndClosesWithoutStoppingTheSurvey)
{
    notifier.showPasswordPrompt();
    const auto& timer = child<QTimer>(prompt(), "Timer");
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_EQ(prompt().windowTitle(), str("Enter Tollgate Password"));
    for (int tick = 0; tick < 5; ++tick)
        prompt().Timer_Timer();
    EXPECT_EQ(prompt().windowTitle(), str("Enter Tollgate Password (11)"));

    // The gesture again while the prompt is open: back to 15, the typed text kept.
    type(str("Open"));
    notifier.showPasswordPrompt();
    EXPECT_EQ(prompt().secondsLeft(), 15);
    EXPECT_EQ(field().text(), str("Open"));

    EXPECT_EQ(countDown(prompt()), titlesFrom("Enter Tollgate Password", 15));
    EXPECT_FALSE(timer.isActive());
    EXPECT_TRUE(survey.running());
}

TEST_F(PasswordPromptTest, TranslatedTitleCarriesTheCountdown)
{
    useLanguage("[frmPassword]\r\nFORM_CAPTION=Passwort eingeben\r\ncmdCancel=&Abbrechen\r\n");
    notifier.showPasswordPrompt();
    if (!activate(prompt()))
        GTEST_SKIP() << "this platform plugin does not activate windows";
    EXPECT_EQ(child<QPushButton>(prompt(), "cmdCancel").text(), str("&Abbrechen"));
    prompt().Timer_Timer();
    EXPECT_EQ(prompt().windowTitle(), str("Passwort eingeben (15)"));
}
