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
