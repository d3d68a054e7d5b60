#include "SurveyFixture.h"

#include <QSignalSpy>

using namespace Tollgate;
using SurveyCycleTest = SurveyTest;

TEST_F(SurveyCycleTest, TicksOnlyWhileRunningNeverNestedAndWithTheRulesAsTheyNowRead)
{
    addWindowRule("*editor*", "(1) Block");
    show("Text Editor");
    QSignalSpy running(&cycle, &SurveyCycle::runningChanged);
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 0);

    cycle.run();
    cycle.run();
    EXPECT_EQ(running.count(), 1);
    // Showing the message lets pending events run, among them the next tick.
    notifier.onShow = [this] { cycle.tick(); };
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 1);

    // Rules edited while running take effect on the next tick, also after rows were removed.
    rules.windowRules().setCell(1, RuleSet::WindowAction, str("(0) Ignore"));
    cycle.tick();
    rules.windowRules().setCell(1, RuleSet::WindowAction, str("(1) Block"));
    rules.windowRules().setCell(1, RuleSet::WindowPattern, str("*browser*"));
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 1);
    rules.windowRules().appendRow({str("*text*"), str("(1) Block")});
    rules.windowRules().removeRule(1);
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 2);

    cycle.stop();
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 2);
    EXPECT_EQ(running.count(), 2);
}

TEST_F(SurveyCycleTest, ChangesBetweenTicksAreSurveyedAtOnceInOneSurvey)
{
    addWindowRule("*game*", "(1) Block");
    addProcessRule("miner", "(3) Block");
    auto& windows = fake.windows();
    const WindowId window = show("Editor");

    // Stopped: nothing is watched and changes ask for nothing.
    EXPECT_FALSE(windows.watchingChanges());
    windows.setWindowTitle(window, str("A game"));
    deliverChanges();
    EXPECT_EQ(cycle.surveysRun(), 0);

    cycle.run();
    EXPECT_TRUE(windows.watchingChanges() && fake.processes().watchingChanges());
    // A burst: several titles and several processes before events run.
    windows.setWindowTitle(window, str("Still editing"));
    windows.setWindowTitle(window, str("The game, level 2"));
    const ProcessId miner = add("miner");
    add("editor");
    EXPECT_EQ(cycle.surveysRun(), 0);
    deliverChanges();
    // The terminated miner is a change too, so one more survey follows that finds nothing.
    deliverChanges();
    EXPECT_EQ(cycle.surveysRun(), 2);
    EXPECT_EQ(windows.closeRequests(), QList<WindowId> {window});
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId> {miner});
    EXPECT_EQ(notifier.blockMessages, 2);
    EXPECT_EQ(logLines().size(), 3); // the heading and one line each

    // A process change alone does not repeat the window step.
    add("editor");
    deliverChanges();
    EXPECT_EQ(windows.closeRequests().size(), 1);

    cycle.stop();
    EXPECT_FALSE(windows.watchingChanges() || fake.processes().watchingChanges());
}

TEST_F(SurveyCycleTest, AChangeDuringASurveyIsSurveyedAfterItNeverInside)
{
    addWindowRule("*game*", "(1) Block");
    auto& windows = fake.windows();
    const auto first = windows.addWindow(str("game one"), 1);
    const auto second = windows.addWindow(str("editor"), 2);
    cycle.run();
    windows.setForegroundWindow(first);

    int depth = 0;
    int deepest = 0;
    notifier.onShow = [&] {
        deepest = std::max(deepest, ++depth);
        // The message lets events run: the user switches to a window that turns blocked.
        if (windows.foregroundWindow() == first) {
            windows.setForegroundWindow(second);
            windows.setWindowTitle(second, str("game two"));
            deliverChanges();
        }
        --depth;
    };
    deliverChanges();
    deliverChanges();
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(notifier.blockMessages, 2);
    EXPECT_EQ(windows.closeRequests(), (QList<WindowId> {first, second}));
}

TEST_F(SurveyCycleTest, ExtraSurveysNeitherCountIdleTimeNorHideActivity)
{
    // Idle time 30 s: the message comes on the first tick after 30 s counted, however
    // many surveys ran between the ticks.
    cycle.run();
    const int ticksToTimeout = 30000 / SurveyCycle::IntervalMs + 2;
    for (int tick = 1; tick < ticksToTimeout; ++tick) {
        for (int extra = 0; extra < 3; ++extra) {
            cycle.requestSurvey(SurveyCycle::AllSteps);
            deliverChanges();
        }
        cycle.tick();
        ASSERT_EQ(notifier.timeoutMessages, 0) << "after tick " << tick;
    }
    cycle.tick();
    EXPECT_EQ(notifier.timeoutMessages, 1);

    // A move seen only by a survey between ticks still counts as activity at the tick.
    runFor(1000);
    ASSERT_GT(cycle.idleDetector().idleMs(), 0);
    fake.input().moveCursor(QPoint(5, 5));
    deliverChanges();
    cycle.tick();
    EXPECT_EQ(cycle.idleDetector().idleMs(), 0);
    EXPECT_FALSE(cycle.idleDetector().idleWarned());

    // The corner gesture answers the move itself, not the next tick.
    const QSize screen = fake.input().primaryScreenSize();
    fake.input().moveCursor(QPoint(screen.width() - 1, screen.height() - 1));
    deliverChanges();
    EXPECT_EQ(notifier.passwordPrompts, 1);
}
