#include "NotifyFixture.h"
#include "forms/PictureBox.h"

#include <QScreen>

using namespace Tollgate;

namespace {

class UserMessageWindowTest : public NotifyFixture
{
protected:
    Platform::ProcessId idleProgram = 0;

    void SetUp() override
    {
        NotifyFixture::SetUp();
        idleProgram = fake.processes().addProcess(str("browser"));
        rules.processRules().appendRow({str("browser"), str("(1) Close Process when Computer is Idle")});
    }

    bool idleProgramClosed() { return fake.processes().kills().contains(idleProgram); }
};

} // namespace

TEST_F(UserMessageWindowTest, BlockMessageCountsDownInItsTitleAndClosesAtZero)
{
    notifier.showBlockMessage();
    UserMessageWindow& window = message();
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), str("Tollgate Message")) << "plain title before the first tick";
    EXPECT_EQ(window.currentAction(), str("Interdict"));
    const auto& timer = child<QTimer>(window, "Timer");
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_FALSE(window.testAttribute(Qt::WA_QuitOnClose)) << "a message never keeps the program alive";

    EXPECT_EQ(countDown(message()), titlesFrom("Tollgate Message", 15));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(timer.isActive());
    EXPECT_FALSE(idleProgramClosed()) << "a block message closes nothing";
    EXPECT_EQ(window.secondsLeft(), -1) << "lowered after the closing tick too";
}

TEST_F(UserMessageWindowTest, TimeoutCountdownEndClosesIdleProcessesAndCancelSparesThem)
{
    notifier.showTimeoutMessage();
    EXPECT_EQ(child<QPushButton>(message(), "cmdOK").text(), str("&Cancel"));
    for (int tick = 0; tick < 5; ++tick)
        message().Timer_Timer();
    child<QPushButton>(message(), "cmdOK").click();
    EXPECT_FALSE(message().isVisible());
    EXPECT_FALSE(idleProgramClosed()) << "Cancel spares them";

    // Closing the window any other way is a Cancel too.
    notifier.showTimeoutMessage();
    message().close();
    EXPECT_FALSE(message().isVisible());
    notifier.showTimeoutMessage();
    QTest::keyClick(&message(), Qt::Key_Escape);
    EXPECT_FALSE(message().isVisible());
    EXPECT_FALSE(idleProgramClosed());

    notifier.showTimeoutMessage();
    EXPECT_EQ(message().windowTitle(), str("Tollgate Message"))
        << "a fresh window starts with the plain title";
    EXPECT_EQ(countDown(message()), titlesFrom("Tollgate Message", 15));
    EXPECT_TRUE(idleProgramClosed());
    EXPECT_FALSE(message().isVisible());
}

TEST_F(UserMessageWindowTest, ANewShowRestartsAtFifteenAndTheModeAtTheEndDecides)
{
    notifier.showTimeoutMessage();
    for (int tick = 0; tick < 6; ++tick)
        message().Timer_Timer();
    EXPECT_EQ(message().windowTitle(), str("Tollgate Message (10)"));

    // A block arriving during a timeout countdown: block mode, fresh countdown, nothing closed.
    notifier.showBlockMessage();
    EXPECT_EQ(message().currentAction(), str("Interdict"));
    EXPECT_EQ(message().secondsLeft(), 15);
    EXPECT_EQ(child<QPushButton>(message(), "cmdOK").text(), str("&OK"));
    EXPECT_EQ(countDown(message()), titlesFrom("Tollgate Message", 15))
        << "the window stayed and kept its timer";
    EXPECT_FALSE(idleProgramClosed());

    // A timeout arriving during a block countdown: its end closes the idle processes.
    notifier.showBlockMessage();
    for (int tick = 0; tick < 3; ++tick)
        message().Timer_Timer();
    notifier.showTimeoutMessage();
    EXPECT_EQ(countDown(message()), titlesFrom("Tollgate Message", 15));
    EXPECT_TRUE(idleProgramClosed());

    // A block every second, as a blocked window that keeps coming back: it never closes.
    for (int second = 0; second < 40; ++second) {
        notifier.showBlockMessage();
        message().Timer_Timer();
    }
    EXPECT_TRUE(message().isVisible());
    EXPECT_EQ(message().windowTitle(), str("Tollgate Message (15)"));
}

TEST_F(UserMessageWindowTest, ShowsTheRuleSetsMessagesTopmostAndCentred)
{
    rules.setBlockMessage(str("No games\r\nin the lab"));
    rules.setTimeoutMessage(str("Idle"));
    notifier.showBlockMessage();
    UserMessageWindow& window = message();
    auto& label = child<QLabel>(window, "lblMessage");
    EXPECT_EQ(label.text(), str("No games\nin the lab"));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(215, 0, 0));
    EXPECT_FALSE(child<PictureBox>(window, "picMessage").pixmap().isNull());
    const QImage blockPicture = child<PictureBox>(window, "picMessage").pixmap().toImage();
    const auto id = static_cast<Platform::WindowId>(window.winId());
    EXPECT_TRUE(fake.windows().topMostCalls().contains(Platform::FakeWindowSystem::TopMostCall {id, true}));
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_LE((window.frameGeometry().center() - screen.center()).manhattanLength(), 2);

    // AdjustSize changes sizes only, never the window's place.
    window.move(window.pos() + QPoint(37, 21));
    const QPoint moved = window.pos();
    notifier.showTimeoutMessage();
    EXPECT_EQ(window.pos(), moved);
    EXPECT_EQ(label.text(), str("Idle"));
    EXPECT_NE(child<PictureBox>(window, "picMessage").pixmap().toImage(), blockPicture)
        << "each mode has its own picture";

    useLanguage("[Messages]\r\nCAPTION_CANCEL=&Abbrechen\r\n");
    notifier.showTimeoutMessage();
    EXPECT_EQ(child<QPushButton>(window, "cmdOK").text(), str("&Abbrechen"));
}

TEST_F(UserMessageWindowTest, AdjustSizeFitsPanelButtonAndWindowToTheMessage)
{
    rules.setBlockMessage(str("Line one\r\n\r\nLine two\r\n\r\nLine three"));
    notifier.showBlockMessage();
    UserMessageWindow& window = message();
    const auto& label = child<QLabel>(window, "lblMessage");
    const auto& panel = child<PictureBox>(window, "PicInfo");
    const auto& button = child<QPushButton>(window, "cmdOK");
    const qreal dpiX = window.logicalDpiX();
    const qreal dpiY = window.logicalDpiY();
    const auto twipsX = [&](int pixels) { return pixels * 1440.0 / dpiX; };
    const auto twipsY = [&](int pixels) { return pixels * 1440.0 / dpiY; };
    // One pixel of rounding either way.
    const double slackX = 1440.0 / dpiX;
    const double slackY = 1440.0 / dpiY;

    EXPECT_EQ(label.text().count(u'\n'), 4) << "five lines, two of them empty";
    EXPECT_GT(label.height(), 4 * label.fontMetrics().lineSpacing());
    EXPECT_EQ(label.pos(), QPoint(qRound(1200 * dpiX / 1440), qRound(360 * dpiY / 1440)));
    EXPECT_EQ(panel.pos(), QPoint(0, 0));
    EXPECT_NEAR(twipsY(panel.height()), twipsY(label.height()) + 760, slackY);
    EXPECT_NEAR(twipsX(panel.width()), twipsX(label.width()) + 1200 + 600, slackX);
    EXPECT_NEAR(twipsY(button.y()), twipsY(panel.height()) + 200, 2 * slackY);
    EXPECT_NEAR(twipsX(button.width()), 1455, slackX);
    EXPECT_NEAR(twipsY(button.height()), 375, slackY);
    const QSizeF outer = window.outerSizeTwips();
    EXPECT_NEAR(outer.height(), twipsY(button.y()) + 375 + 500, 2 * slackY);
    EXPECT_NEAR(outer.width(), twipsX(panel.width()), slackX);
    EXPECT_NEAR(twipsX(button.x()), outer.width() / 2 - 1455.0 / 2, 2 * slackX) << "centred";
    // The design's outer size holds a classic frame; the desktop adds its own outside.
    EXPECT_NEAR(twipsY(window.height()), outer.height() - UserMessageWindow::DesignFrameHeight, slackY);
    EXPECT_NEAR(twipsX(window.width()), outer.width(), slackX);

    // No minimum and no maximum: a short message gives a small window, a long line a wide one.
    rules.setBlockMessage(str("No"));
    notifier.showBlockMessage();
    const QSize small = window.size();
    rules.setBlockMessage(QString(200, u'W'));
    notifier.showBlockMessage();
    EXPECT_LT(small.width(), 300);
    EXPECT_GT(window.width(), 4 * small.width());
}

TEST_F(UserMessageWindowTest, TranslatesOnActivationAfterSizingAndKeepsTheFirstTitleBase)
{
    useLanguage("[frmUserMessage]\r\nFORM_CAPTION=Meldung\r\nlblMessage=Ersetzt\r\ncmdOK=Schliessen\r\n");
    rules.setBlockMessage(str("A much longer message than the one the language file gives"));
    notifier.showBlockMessage();
    UserMessageWindow& window = message();
    const QSize sized = window.size();
    if (!activate(window))
        GTEST_SKIP() << "this platform plugin does not activate windows";
    EXPECT_EQ(window.windowTitle(), str("Meldung"));
    EXPECT_EQ(child<QLabel>(window, "lblMessage").text(), str("Ersetzt"));
    EXPECT_EQ(child<QPushButton>(window, "cmdOK").text(), str("Schliessen"));
    EXPECT_EQ(window.size(), sized) << "not resized for the file's texts";
    window.Timer_Timer();
    EXPECT_EQ(window.windowTitle(), str("Meldung (15)"));

    // Another language later does not change the base taken at the first tick.
    useLanguage("[frmUserMessage]\r\nFORM_CAPTION=Message nouveau\r\n", "Other.lng");
    window.Timer_Timer();
    EXPECT_EQ(window.windowTitle(), str("Meldung (14)"));
}
