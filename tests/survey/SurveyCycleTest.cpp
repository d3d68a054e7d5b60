#include "SurveyFixture.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace Tollgate;

TEST(SurveyCycle, TicksOnlyWhileRunningAndNeverNested)
{
    SurveyFixture f;
    f.addWindowRule("*", "(1) Block");
    f.fake.windows().setForegroundWindow(f.fake.windows().addWindow(QStringLiteral("x"), 1));
    QSignalSpy running(&f.cycle, &SurveyCycle::runningChanged);

    f.cycle.tick();
    EXPECT_EQ(f.notifier.blockMessages, 0);

    f.cycle.run();
    f.cycle.run();
    EXPECT_EQ(running.count(), 1);
    // Showing the message lets pending events run, among them the next tick.
    f.notifier.onShow = [&f] { f.cycle.tick(); };
    f.cycle.tick();
    EXPECT_EQ(f.notifier.blockMessages, 1);

    f.cycle.stop();
    f.cycle.tick();
    EXPECT_EQ(f.notifier.blockMessages, 1);
    EXPECT_EQ(running.count(), 2);
}

TEST(SurveyCycle, EmptyRuleSetsStillWatchIdleTimeAndTheCorner)
{
    SurveyFixture f;
    f.cycle.run();
    f.runFor(31000);
    EXPECT_EQ(f.notifier.timeoutMessages, 1);
    const QSize screen = f.fake.input().primaryScreenSize();
    f.fake.input().moveCursor(QPoint(screen.width() - 1, screen.height() - 1));
    f.cycle.tick();
    EXPECT_EQ(f.notifier.passwordPrompts, 1);
}

TEST(SurveyCycle, IdleProcessesCloseAfterAStopDuringTheCountdown)
{
    SurveyFixture f;
    f.addProcessRule("browser", "(1) Close Process when Computer is Idle");
    const auto pid = f.fake.processes().addProcess(QStringLiteral("browser"));
    f.cycle.run();
    f.runFor(31000);
    ASSERT_EQ(f.notifier.timeoutMessages, 1);
    f.cycle.stop();
    // The message's countdown runs out later and does not ask whether the survey runs.
    f.cycle.processSurvey().CloseIdleProcesses();
    EXPECT_EQ(f.fake.processes().kills(), QList<Platform::ProcessId> {pid});
}

TEST(SurveyCycle, ChangesBetweenTicksAreSurveyedAtOnceInOneSurvey)
{
    SurveyFixture f;
    f.addWindowRule("*game*", "(1) Block");
    f.addProcessRule("miner", "(3) Block");
    auto& windows = f.fake.windows();
    const auto window = windows.addWindow(QStringLiteral("Editor"), 1);
    windows.setForegroundWindow(window);

    // Stopped: nothing is watched and changes ask for nothing.
    EXPECT_FALSE(windows.watchingChanges());
    windows.setWindowTitle(window, QStringLiteral("A game"));
    f.deliverChanges();
    EXPECT_EQ(f.cycle.surveysRun(), 0);

    f.cycle.run();
    EXPECT_TRUE(windows.watchingChanges() && f.fake.processes().watchingChanges());
    // A burst: several titles and several processes before events run.
    windows.setWindowTitle(window, QStringLiteral("Still editing"));
    windows.setWindowTitle(window, QStringLiteral("The game, level 2"));
    const auto miner = f.fake.processes().addProcess(QStringLiteral("miner"));
    f.fake.processes().addProcess(QStringLiteral("editor"));
    EXPECT_EQ(f.cycle.surveysRun(), 0);
    f.deliverChanges();
    // The terminated miner is a change too, so one more survey follows that finds nothing.
    f.deliverChanges();
    EXPECT_EQ(f.cycle.surveysRun(), 2);
    EXPECT_EQ(windows.closeRequests(), QList<Platform::WindowId> {window});
    EXPECT_EQ(f.fake.processes().kills(), QList<Platform::ProcessId> {miner});
    EXPECT_EQ(f.notifier.blockMessages, 2);
    EXPECT_EQ(f.logLines().size(), 3); // the heading and one line each

    // A process change alone does not repeat the window step.
    f.fake.processes().addProcess(QStringLiteral("editor"));
    f.deliverChanges();
    EXPECT_EQ(windows.closeRequests().size(), 1);

    f.cycle.stop();
    EXPECT_FALSE(windows.watchingChanges() || f.fake.processes().watchingChanges());
}

TEST(SurveyCycle, AChangeDuringASurveyIsSurveyedAfterItNeverInside)
{
    SurveyFixture f;
    f.addWindowRule("*game*", "(1) Block");
    auto& windows = f.fake.windows();
    const auto first = windows.addWindow(QStringLiteral("game one"), 1);
    const auto second = windows.addWindow(QStringLiteral("editor"), 2);
    f.cycle.run();
    windows.setForegroundWindow(first);

    int depth = 0;
    int deepest = 0;
    f.notifier.onShow = [&] {
        deepest = std::max(deepest, ++depth);
        // The message lets events run: the user switches to a window that turns blocked.
        if (windows.foregroundWindow() == first) {
            windows.setForegroundWindow(second);
            windows.setWindowTitle(second, QStringLiteral("game two"));
            f.deliverChanges();
        }
        --depth;
    };
    f.deliverChanges();
    f.deliverChanges();
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(f.notifier.blockMessages, 2);
    EXPECT_EQ(windows.closeRequests(), (QList<Platform::WindowId> {first, second}));

    // A tick that arrives inside a survey is dropped as well.
    f.notifier.onShow = [&f] { f.cycle.tick(); };
    const int before = f.cycle.surveysRun();
    f.cycle.tick();
    EXPECT_EQ(f.cycle.surveysRun(), before + 1);
}

TEST(SurveyCycle, ExtraSurveysNeitherCountIdleTimeNorHideActivity)
{
    // Idle time 30 s: the message comes on the first tick after 30 s counted, however
    // many surveys ran between the ticks.
    SurveyFixture f;
    f.cycle.run();
    const int ticksToTimeout = 30000 / SurveyCycle::IntervalMs + 2;
    for (int tick = 1; tick < ticksToTimeout; ++tick) {
        for (int extra = 0; extra < 3; ++extra) {
            f.cycle.requestSurvey(SurveyCycle::AllSteps);
            f.deliverChanges();
        }
        f.cycle.tick();
        ASSERT_EQ(f.notifier.timeoutMessages, 0) << "after tick " << tick;
    }
    f.cycle.tick();
    EXPECT_EQ(f.notifier.timeoutMessages, 1);

    // A move seen only by a survey between ticks still counts as activity at the tick.
    f.runFor(1000);
    ASSERT_GT(f.cycle.idleDetector().idleMs(), 0);
    f.fake.input().moveCursor(QPoint(5, 5));
    f.deliverChanges();
    f.cycle.tick();
    EXPECT_EQ(f.cycle.idleDetector().idleMs(), 0);
    EXPECT_FALSE(f.cycle.idleDetector().idleWarned());

    // The corner gesture answers the move itself, not the next tick.
    const QSize screen = f.fake.input().primaryScreenSize();
    f.fake.input().moveCursor(QPoint(screen.width() - 1, screen.height() - 1));
    f.deliverChanges();
    EXPECT_EQ(f.notifier.passwordPrompts, 1);
}
