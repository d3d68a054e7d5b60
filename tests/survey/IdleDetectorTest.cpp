#include "SurveyFixture.h"

using namespace Tollgate;

namespace {

// An empty rule set: idle time and the corner are watched all the same.
class IdleDetectorTest : public SurveyTest
{
protected:
    IdleDetectorTest()
    {
        fake.input().setScreenSize(QSize(1024, 768));
        fake.input().moveCursor(QPoint(100, 100));
        cycle.run();
        cycle.tick(); // the first sample counts as a move from (0, 0)
    }
    qint64 idleMs() { return cycle.idleDetector().idleMs(); }
};

} // namespace

TEST_F(IdleDetectorTest, TimeoutMessageOncePerIdlePeriodCountedOnlyWhileRunning)
{
    runFor(20000);
    cycle.stop();
    runFor(60000);
    EXPECT_EQ(idleMs(), 20000) << "the counter stands still while stopped";
    cycle.run();
    runFor(10000);
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

TEST_F(IdleDetectorTest, OnlyPolledKeysCountAsActivityEachPressOnce)
{
    // Key code and whether it counts: Shift, Enter, the space bar, the polled range's ends, F1.
    const std::pair<int, bool> keys[] = {{0x10, false}, {0x0D, false}, {0x20, false}, {0x23, false},
        {0x24, true}, {'A', true}, {0x70, true}, {0x7E, true}, {0x7F, false}};
    for (const auto& [key, counts] : keys) {
        SCOPED_TRACE(key);
        runFor(1000);
        fake.input().pressKey(key);
        cycle.tick();
        EXPECT_EQ(idleMs() == 0, counts);
    }
    fake.input().pressKey('A');
    cycle.tick();
    cycle.tick();
    EXPECT_EQ(idleMs(), 50) << "a pressed key counts once";

    // A key held down that is not polled keeps no one from going idle.
    fake.input().setKeyDown(0x10, true);
    runFor(30200);
    EXPECT_EQ(notifier.timeoutMessages, 1);
}

TEST_F(IdleDetectorTest, CornerGesture)
{
    // (W-11, H-1) and (W-1, H-11) lie outside; a second monitor lies beyond the corner.
    const std::pair<QPoint, bool> moves[] = {{{1013, 767}, false}, {{1023, 757}, false}, {{1014, 758}, true},
        {{1023, 767}, true}, {{3000, 2000}, true}};
    for (const auto& [at, prompts] : moves) {
        SCOPED_TRACE(at.x());
        const int before = notifier.passwordPrompts;
        fake.input().moveCursor(at);
        cycle.tick();
        EXPECT_EQ(notifier.passwordPrompts - before, prompts ? 1 : 0);
    }
    EXPECT_EQ(fake.input().cursorMoves(), QList<QPoint>(3, QPoint(512, 384)));
    EXPECT_EQ(idleMs(), 0);
    cycle.tick();
    EXPECT_EQ(idleMs(), 0) << "the jump to the centre is a move too";
}
