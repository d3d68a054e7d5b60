// The Wayland backend against a private headless sway, with real clients (foot) and a
// virtual pointer standing in for the user's hand.
#include "HeadlessSway.h"
#include "WaylandDesktopFixture.h"
#include "platform/wayland/WaylandWindowSystem.h"
#include "survey/IdleDetector.h"

#include <QStandardPaths>

using namespace Tollgate;
using Tollgate::Test::HeadlessSway;
using Tollgate::Test::waitUntil;

namespace {

class WaylandDesktop : public Tollgate::Test::WaylandDesktopFixture<Platform::WaylandWindowSystem>
{
protected:
    void SetUp() override
    {
        if (const QString reason = HeadlessSway::unavailableReason(); !reason.isEmpty())
            GTEST_SKIP() << "Wayland tests need a headless sway: " << qPrintable(reason);
        QString error;
        if (!m_sway.start(&error))
            GTEST_SKIP() << "headless sway cannot run here: " << qPrintable(error);
        qputenv("SWAYSOCK", m_sway.ipcSocket().toLocal8Bit());
        openPlatform(m_sway.displayPath(), QStringLiteral("wayland"));
    }

    // A terminal window with a known title; skips the test when foot is not installed.
    QProcess* startTerminal(const QString& title)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("foot")).isEmpty())
            return nullptr;
        return m_sway.startClient(QStringLiteral("foot"),
            {QStringLiteral("--title"), title, QStringLiteral("sleep"), QStringLiteral("600")});
    }

    HeadlessSway m_sway;
};

#define REQUIRE_FOOT(process)                                                                                \
    if (!(process))                                                                                          \
    GTEST_SKIP() << "foot, the Wayland terminal these tests open, is not installed or did not start"

TEST_F(WaylandDesktop, readsTheForegroundWindowAndClosesIt)
{
    QProcess* terminal = startTerminal(QStringLiteral("Tollgate probe one"));
    REQUIRE_FOOT(terminal);
    const Platform::WindowId first = waitForForeground(QStringLiteral("Tollgate probe one"));
    ASSERT_NE(first, 0u) << "the terminal never became the foreground window";
    EXPECT_EQ(m_windows->appId(first), QStringLiteral("foot"));
    EXPECT_EQ(m_windows->windowProcessId(first), Platform::ProcessId(terminal->processId()));

    // A second window takes the focus; activating the first gives it back.
    QProcess* other = startTerminal(QStringLiteral("Tollgate probe two"));
    ASSERT_TRUE(other);
    const Platform::WindowId second = waitForForeground(QStringLiteral("Tollgate probe two"));
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first);
    const QList<Platform::TopLevelWindow> listed = m_windows->topLevelWindows();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed.first().window, second);
    ASSERT_TRUE(m_windows->activate(first));
    EXPECT_EQ(waitForForeground(QStringLiteral("Tollgate probe one")), first);

    ASSERT_TRUE(m_windows->postCloseRequest(first));
    EXPECT_TRUE(waitUntil([&] { return exited(terminal); })) << "the close request did not end foot";
    EXPECT_TRUE(waitUntil([&] { return m_windows->topLevelWindows().size() == 1; }));
    EXPECT_EQ(m_windows->windowTitle(first), QString()) << "a closed window keeps no title";
    EXPECT_FALSE(m_windows->postCloseRequest(first));
    EXPECT_EQ(m_windows->setTopMost(second, true), 0);
}

TEST_F(WaylandDesktop, aBlockRuleClosesARealWindow)
{
    REQUIRE_FOOT(blockRuleClosesARealWindow([this](const QString& title) { return startTerminal(title); }));
}

TEST_F(WaylandDesktop, aRetitledWindowIsBlockedWithoutWaitingForATick)
{
    if (QStandardPaths::findExecutable(QStringLiteral("foot")).isEmpty())
        GTEST_SKIP() << "foot, the Wayland terminal these tests open, is not installed";
    // A survey whose tick would come only after an hour: whatever it does before then, it
    // does because the compositor reported a change.
    SystemClock clock;
    ActivityLog log(Sandbox::folder() + QStringLiteral("/Tollgate.log"), clock);
    SurveyCycle cycle(m_rules, *m_platform, m_notifier, log, clock, 3600 * 1000);
    cycle.run();
    m_rules.windowRules().appendRow({QStringLiteral("*forbidden*"), QStringLiteral("(1) Block")});
    // The terminal's program retitles its window once the window has been surveyed.
    QProcess* terminal = m_sway.startClient(QStringLiteral("foot"),
        {QStringLiteral("--title"), QStringLiteral("Harmless notes"), QStringLiteral("sh"),
            QStringLiteral("-c"),
            QStringLiteral("sleep 2; printf '\\033]2;Now a forbidden game\\007'; sleep 600")});
    ASSERT_TRUE(terminal);
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return cycle.surveysRun() > 0;
    })) << "the new foreground window was not surveyed";
    EXPECT_EQ(m_notifier.blockMessages, 0);

    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return exited(terminal);
    })) << "the retitled window was not closed before the tick";
    EXPECT_GE(m_notifier.blockMessages, 1);
    EXPECT_TRUE(Sandbox::readFile(log.LogFilePath()).contains(";Now a forbidden game;*forbidden*\r\n"));
}

TEST_F(WaylandDesktop, theCornerSurfaceFiresOnceWhenThePointerEntersIt)
{
    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width / 2, HeadlessSway::Height / 2))
        << "the compositor offers no virtual pointer";
    ASSERT_TRUE(waitUntil([&] {
        m_input->cursorPosition();
        return m_input->cornerSurfaceMapped();
    }));
    EXPECT_EQ(m_input->primaryScreenSize(), QSize(HeadlessSway::Width, HeadlessSway::Height));

    IdleDetector detector(m_rules, *m_input, m_notifier);
    detector.SurveyIdle(SurveyCycle::IntervalMs);
    EXPECT_EQ(m_notifier.passwordPrompts, 0) << "the pointer in the middle is no gesture";

    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width - 2, HeadlessSway::Height - 2));
    ASSERT_TRUE(waitUntil([&] {
        detector.SurveyIdle(SurveyCycle::IntervalMs);
        return m_notifier.passwordPrompts > 0;
    })) << "the pointer entering the corner did not bring the prompt";
    // Resting in the corner is one gesture, not one per tick.
    for (int tick = 0; tick < 5; ++tick)
        detector.SurveyIdle(SurveyCycle::IntervalMs);
    EXPECT_EQ(m_notifier.passwordPrompts, 1);

    // Leaving and coming back is the next gesture.
    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width / 2, HeadlessSway::Height / 2));
    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width - 1, HeadlessSway::Height - 1));
    EXPECT_TRUE(waitUntil([&] {
        detector.SurveyIdle(SurveyCycle::IntervalMs);
        return m_notifier.passwordPrompts == 2;
    }));
}

TEST_F(WaylandDesktop, theCornerSurfaceMovesToTheNextOutputWhenItsOutputGoes)
{
    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width / 2, HeadlessSway::Height / 2));
    ASSERT_TRUE(waitUntil([&] {
        m_input->cursorPosition();
        return m_input->cornerSurfaceMapped();
    }));
    ASSERT_TRUE(m_sway.command(QStringLiteral("create_output")));
    ASSERT_TRUE(m_sway.command(QStringLiteral("output HEADLESS-2 resolution 800x600 position 1024 0")));
    m_sway.command(QStringLiteral("output HEADLESS-1 disable"));
    if (m_sway.outputActive(QStringLiteral("HEADLESS-1")))
        GTEST_SKIP() << "this sway cannot turn a headless output off (wlroots 0.15 fails the commit)";
    ASSERT_TRUE(waitUntil([&] {
        m_input->cursorPosition();
        return m_input->cornerSurfaceMapped() && m_input->primaryScreenSize() == QSize(800, 600);
    })) << "the corner surface did not move to the remaining output";

    // The virtual pointer's range is the layout, which is now the second output alone.
    IdleDetector detector(m_rules, *m_input, m_notifier);
    ASSERT_TRUE(m_sway.movePointer(HeadlessSway::Width - 1, HeadlessSway::Height - 1));
    EXPECT_TRUE(waitUntil([&] {
        detector.SurveyIdle(SurveyCycle::IntervalMs);
        return m_notifier.passwordPrompts == 1;
    }));
}

TEST_F(WaylandDesktop, idleFiresAfterTheIdleTimeWithoutInputAndNotWhileThereIsInput)
{
    IdleDetector detector(m_rules, *m_input, m_notifier);
    // Each tick stands for ten seconds, so that the shortest idle time passes in a few.
    constexpr int tickMs = 10000;
    const int ticksToTimeout = m_rules.idleTime() * 1000 / tickMs + 2;
    const auto seatIdle = [&] { return !m_input->keyActive(0x41); };
    // The pointer moved through sway's IPC, as a device would; the compositor reports the
    // activity on its own connection, so wait until the backend has seen it.
    int step = 0;
    const auto userInput = [&] {
        ++step;
        return m_sway.command(QStringLiteral("seat - cursor move %1 0").arg(step % 2 ? 3 : -3))
            && waitUntil([&] { return m_input->keyActive(0x41); });
    };

    ASSERT_TRUE(waitUntil(seatIdle)) << "the compositor never reported the seat idle";
    // Steady input: the count starts over every tick.
    for (int tick = 0; tick < ticksToTimeout * 2; ++tick) {
        ASSERT_TRUE(userInput()) << "the compositor did not report the input";
        detector.SurveyIdle(tickMs);
    }
    EXPECT_EQ(m_notifier.timeoutMessages, 0) << "a timeout while the pointer moved";

    // No input: once the compositor reports the seat idle, the timeout follows, once.
    ASSERT_TRUE(waitUntil(seatIdle));
    for (int tick = 0; tick < ticksToTimeout * 3; ++tick)
        detector.SurveyIdle(tickMs);
    EXPECT_EQ(m_notifier.timeoutMessages, 1);

    // Input ends the idle period; the next one warns again.
    ASSERT_TRUE(userInput());
    detector.SurveyIdle(tickMs);
    EXPECT_FALSE(detector.idleWarned());
    ASSERT_TRUE(waitUntil(seatIdle));
    for (int tick = 0; tick < ticksToTimeout; ++tick)
        detector.SurveyIdle(tickMs);
    EXPECT_EQ(m_notifier.timeoutMessages, 2);
}

TEST_F(WaylandDesktop, aLostCompositorLeavesNoWindowsAndNoFalseIdleness)
{
    QProcess* terminal = startTerminal(QStringLiteral("Tollgate probe lost"));
    REQUIRE_FOOT(terminal);
    const Platform::WindowId window = waitForForeground(QStringLiteral("Tollgate probe lost"));
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(waitUntil([&] { return !m_input->keyActive(0x41); }));

    m_sway.stop();
    EXPECT_TRUE(waitUntil([&] { return m_windows->foregroundWindow() == 0; }));
    EXPECT_TRUE(m_windows->topLevelWindows().isEmpty());
    EXPECT_FALSE(m_windows->postCloseRequest(window));
    EXPECT_TRUE(m_input->keyActive(0x41)) << "without a compositor nobody counts as idle";
    for (const Platform::CapabilityStatus& status : m_windows->capabilities()) {
        if (status.capability == Platform::Capability::ForegroundWindow) {
            EXPECT_FALSE(status.works);
            EXPECT_TRUE(status.detail.contains(QStringLiteral("lost"))) << qPrintable(status.detail);
        }
    }
}

TEST_F(WaylandDesktop, checkPlatformReportsEachCapabilityWithItsReason)
{
    const QString report = checkPlatformReport(m_sway.clientEnvironment());
    ASSERT_FALSE(report.isEmpty()) << "tollgate --check-platform did not end";
    EXPECT_TRUE(report.startsWith(QStringLiteral("backend: wayland"))) << qPrintable(report);
    for (const char* line : {"foreground window: works", "window titles: works", "close requests: works",
             "topmost placement: unavailable", "window process ids: works", "key activity: works",
             "process names: works", "org_kde_kwin_idle", "foreign-toplevel-management"})
        EXPECT_TRUE(report.contains(QLatin1StringView(line))) << line << "\n" << qPrintable(report);
}

} // namespace
