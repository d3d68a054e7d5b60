#include "SurveyFixture.h"

#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

class IdleDetectorTest : public testing::Test, protected SurveyFixture
{
protected:
    IdleDetectorTest()
    {
        fake.input().setScreenSize(QSize(1024, 768));
        fake.input().moveCursor(QPoint(100, 100));
        cycle.run();
        cycle.tick(); // the first sample counts as a move from (0, 0)
    }
};

} // namespace

TEST_F(IdleDetectorTest, TimeoutMessageOncePerIdlePeriod)
{
    runFor(30000);
    EXPECT_EQ(notifier.timeoutMessages, 0);
    runFor(200);
    EXPECT_EQ(notifier.timeoutMessages, 1) << "a little over the idle time";
    runFor(60000);
    EXPECT_EQ(notifier.timeoutMessages, 1) << "not again while the computer stays idle";

    fake.input().moveCursor(QPoint(101, 100));
    cycle.tick();
    EXPECT_FALSE(cycle.idleDetector().idleWarned());
    runFor(31000);
    EXPECT_EQ(notifier.timeoutMessages, 2) << "activity starts a new idle period";
}

TEST_F(IdleDetectorTest, OnlyPolledKeysCountAsActivity)
{
    runFor(20000);
    fake.input().setKeyDown(0x10, true); // Shift
    fake.input().pressKey(0x0D); // Enter
    fake.input().pressKey(0x20); // space bar
    runFor(10200);
    EXPECT_EQ(notifier.timeoutMessages, 1);

    runFor(20000);
    fake.input().pressKey('A');
    cycle.tick();
    EXPECT_EQ(cycle.idleDetector().idleMs(), 0);
    fake.input().pressKey(0x70); // F1
    cycle.tick();
    EXPECT_EQ(cycle.idleDetector().idleMs(), 0);
    cycle.tick();
    EXPECT_EQ(cycle.idleDetector().idleMs(), 50) << "a pressed key counts once";
}

TEST_F(IdleDetectorTest, CornerGesture)
{
    fake.input().moveCursor(QPoint(1013, 767));
    cycle.tick();
    fake.input().moveCursor(QPoint(1023, 757));
    cycle.tick();
    EXPECT_EQ(notifier.passwordPrompts, 0) << "(W-11, H-1) and (W-1, H-11) are outside";

    fake.input().moveCursor(QPoint(1014, 758));
    cycle.tick();
    EXPECT_EQ(notifier.passwordPrompts, 1);
    EXPECT_EQ(fake.input().cursorMoves(), QList<QPoint> {QPoint(512, 384)});
    EXPECT_EQ(cycle.idleDetector().idleMs(), 0);
    cycle.tick();
    EXPECT_EQ(cycle.idleDetector().idleMs(), 0) << "the jump to the centre is a move too";

    fake.input().moveCursor(QPoint(3000, 2000)); // a second monitor beyond the corner
    cycle.tick();
    EXPECT_EQ(notifier.passwordPrompts, 2);
}

TEST_F(IdleDetectorTest, StateSurvivesStopAndRun)
{
    runFor(20000);
    cycle.stop();
    runFor(60000);
    EXPECT_EQ(cycle.idleDetector().idleMs(), 20000) << "the counter stands still while stopped";
    rules.setIdleTime(30);
    cycle.run();
    runFor(10100);
    EXPECT_EQ(notifier.timeoutMessages, 1);
}
