#include "WidgetFixture.h"
#include "forms/PictureBox.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <tuple>

using namespace Tollgate;

namespace {

// The survey's message window and password prompt while the survey runs, with a rule that
// closes idle programs.
class SurveyWindowsTest : public WidgetFixture
{
protected:
    void SetUp() override
    {
        WidgetFixture::SetUp();
        rules.processRules().appendRow({str("browser"), str("(1) Close Process when Computer is Idle")});
        rules.setPassword(str("Open Sesame"));
        survey.run();
    }

    // Ticks a countdown window until it closes; whether it showed "(15)" down to "(0)" on
    // its plain title on the way.
    static bool countsDownAndCloses(CountdownDialog& window, const char* title = "Tollgate Message")
    {
        bool counted = true;
        for (int seconds = 15; seconds >= 0; --seconds) {
            window.Timer_Timer();
            counted = counted && window.windowTitle() == str("%1 (%2)").arg(str(title)).arg(seconds);
        }
        return counted && !window.isVisible();
    }
    QLineEdit& field() { return child<QLineEdit>(prompt(), "txtPassword"); }
    // Types into the prompt's field as a person would, replacing what is there.
    void type(const char* typed)
    {
        field().clear();
        QTest::keyClicks(&field(), str(typed));
    }
};

} // namespace

// Shown again while it counts, the prompt starts again at 15; at zero it closes and stops
// nothing. The message window's countdown is driven through every case of the timeout test.
TEST_F(SurveyWindowsTest, ThePromptCountsDownInItsTitleAndClosesAtZero)
{
    const char* title = "Enter Tollgate Password";
    notifier.showPasswordPrompt();
    ASSERT_TRUE(prompt().isVisible());
    EXPECT_EQ(prompt().windowTitle(), str(title)) << "plain title before the first tick";
    const auto& timer = child<QTimer>(prompt(), "Timer");
    EXPECT_TRUE(timer.isActive());
    for (int tick = 0; tick < 5; ++tick)
        prompt().Timer_Timer();
    EXPECT_EQ(prompt().windowTitle(), str(title) + str(" (11)"));
    notifier.showPasswordPrompt();
    EXPECT_EQ(prompt().secondsLeft(), 15);
    EXPECT_TRUE(countsDownAndCloses(prompt(), title));
    EXPECT_FALSE(timer.isActive());
    EXPECT_TRUE(survey.running()) << "the prompt closing by itself stops nothing";
    EXPECT_FALSE(prompt().testAttribute(Qt::WA_QuitOnClose) || message().testAttribute(Qt::WA_QuitOnClose))
        << "closing either window never ends the program";
}

TEST_F(SurveyWindowsTest, OnlyTheExactPasswordStopsTheSurveyAndEscapeCancels)
{
    QSignalSpy unlocked(&notifier, &WindowNotifier::unlocked);
    notifier.showPasswordPrompt();
    for (const char* wrong : {"open sesame", "Open Sesame ", " Open Sesame", "Open  Sesame", ""}) {
        type(wrong);
        child<QPushButton>(prompt(), "cmdOK").click();
        EXPECT_TRUE(prompt().isVisible()) << wrong;
        EXPECT_EQ(field().text(), str(wrong)) << "the entered text stays";
    }
    type("Open");
    notifier.showPasswordPrompt();
    EXPECT_EQ(field().text(), str("Open")) << "the gesture again keeps what was typed";
    type("Open Sesame");
    QTest::keyClick(&field(), Qt::Key_Escape);
    EXPECT_EQ(
        std::tuple(prompt().isVisible(), survey.running(), unlocked.count()), std::tuple(false, true, 0))
        << "Cancel closes the prompt and leaves the survey running";

    notifier.showPasswordPrompt();
    EXPECT_TRUE(field().text().isEmpty()) << "a fresh prompt starts empty";
    type("Open Sesame");
    QTest::keyClick(&field(), Qt::Key_Return);
    EXPECT_EQ(
        std::tuple(prompt().isVisible(), survey.running(), unlocked.count()), std::tuple(false, false, 1));

    // An empty password is answered by Enter on the empty field.
    rules.setPassword(QString());
    survey.run();
    notifier.showPasswordPrompt();
    QTest::keyClick(&field(), Qt::Key_Enter);
    EXPECT_FALSE(survey.running());
    EXPECT_EQ(unlocked.count(), 2) << "Enter presses OK once";
}

// The message shown last decides: a timeout countdown that runs out closes the idle
// programs; Cancel, however given, spares them, and so does a block arriving meanwhile.
TEST_F(SurveyWindowsTest, OnlyATimeoutCountdownThatRunsOutClosesIdlePrograms)
{
    const auto tick = [this](int times) {
        for (int n = 0; n < times; ++n)
            message().Timer_Timer();
    };
    // Steps with the countdown up, and whether they end with the idle programs closed.
    const std::pair<std::function<void()>, bool> cases[] = {
        {[&] { child<QPushButton>(message(), "cmdOK").click(); }, false},
        {[&] { message().close(); }, false},
        {[&] { QTest::keyClick(&message(), Qt::Key_Escape); }, false},
        {[&] {
             tick(5);
             notifier.showBlockMessage();
             EXPECT_EQ(child<QPushButton>(message(), "cmdOK").text(), str("&OK"));
             EXPECT_TRUE(countsDownAndCloses(message())) << "the window stayed and kept its timer";
         },
            false},
        {[&] { EXPECT_TRUE(countsDownAndCloses(message())); }, true},
        {[&] {
             notifier.showBlockMessage();
             tick(3);
             notifier.showTimeoutMessage();
             EXPECT_TRUE(countsDownAndCloses(message()));
         },
            true},
    };
    for (const auto& item : cases) {
        const Platform::ProcessId browser = fake.processes().addProcess(str("browser"));
        notifier.showTimeoutMessage();
        EXPECT_EQ(message().windowTitle(), str("Tollgate Message")) << "a fresh window has the plain title";
        item.first();
        EXPECT_FALSE(message().isVisible());
        EXPECT_EQ(fake.processes().kills().contains(browser), item.second) << &item - cases;
    }
}

TEST_F(SurveyWindowsTest, MessageWindowShowsTheRuleSetsMessageAndFitsItsSizeToIt)
{
    rules.setBlockMessage(str("Line one\r\n\r\nLine two\r\n\r\nLine three"));
    rules.setTimeoutMessage(str("Idle"));
    notifier.showBlockMessage();
    UserMessageWindow& window = message();
    auto& label = child<QLabel>(window, "lblMessage");
    const auto& button = child<QPushButton>(window, "cmdOK");
    const auto& panel = child<PictureBox>(window, "PicInfo");
    EXPECT_EQ(label.text(), str("Line one\n\nLine two\n\nLine three"));
    EXPECT_GT(label.height(), 4 * label.fontMetrics().lineSpacing()) << "five lines, two of them empty";
    EXPECT_TRUE(panel.geometry().contains(label.geometry()) && button.y() > panel.geometry().bottom()
        && window.rect().contains(button.geometry()))
        << "the message on its panel, the button below it and in the window";
    const QImage blockPicture = child<PictureBox>(window, "picMessage").pixmap().toImage();

    // Sizing changes sizes only, never the window's place.
    window.move(window.pos() + QPoint(37, 21));
    const QPoint moved = window.pos();
    notifier.showTimeoutMessage();
    EXPECT_EQ(std::tuple(window.pos(), label.text(), button.text()),
        std::tuple(moved, str("Idle"), str("&Cancel")));
    EXPECT_NE(child<PictureBox>(window, "picMessage").pixmap().toImage(), blockPicture)
        << "each mode has its own picture";

    // No minimum and no maximum: a short message gives a small window, a long line a wide one.
    const int small = window.width();
    rules.setBlockMessage(QString(200, u'W'));
    notifier.showBlockMessage();
    EXPECT_TRUE(small < 300 && window.width() > 4 * small) << small << " " << window.width();

    useLanguage("[Messages]\r\nCAPTION_CANCEL=&Abbrechen\r\n");
    notifier.showTimeoutMessage();
    EXPECT_EQ(button.text(), str("&Abbrechen"));
}
