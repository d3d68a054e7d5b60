#include "SurveyFixture.h"
#include "survey/GuardLines.h"

using namespace Tollgate;
using ProcessSurveyTest = SurveyTest;

TEST_F(ProcessSurveyTest, BlockEndsEveryProcessOfTheNameOnceAndOnlyWhenItRuns)
{
    rules.processRules().resetRows(rows(
        {"absent|(3) Block", "c:\\games\\game.exe|(3) Block", "GAME.EXE|(3) Block", "game.exe|(3) Block"}));
    add("other");
    processes().SurveyProcesses();
    EXPECT_TRUE(fake.processes().kills().isEmpty());
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());

    const ProcessId first = add("game.exe");
    const ProcessId second = add("Game.exe");
    fake.windows().addWindow(str("Game"), second);
    processes().SurveyProcesses();
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId>({first, second})) << "with or without a window";
    EXPECT_EQ(notifier.blockMessages, 1) << "the second row finds nothing in the same tick";
    EXPECT_EQ(logLines(),
        QStringList({str("Date/Time;WindowTitle;Keyword"), str("27.02.2004 15:01:23;GAME.EXE;(3) Block")}));
    EXPECT_EQ(fake.windows().topLevelWindows().size(), 0);
}

TEST_F(ProcessSurveyTest, ProcessesThatMayNotBeEndedAreReportedOnceAndNotShownAsBlocked)
{
    addProcessRule("odd\nForged: line", "(3) Block");
    fake.processes().setTerminationPermitted(add("odd\nForged: line"), false);
    cycle.run();
    runFor(1000);
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());
    ASSERT_EQ(reports.size(), 1);
    // The name cannot start a line of its own in the report.
    EXPECT_FALSE(reports.first().contains(u'\n')) << reports.first().toStdString();
    EXPECT_TRUE(reports.first().contains(str("odd?Forged: line")));
    EXPECT_EQ(fake.processes().kills().size(), 20) << "the next tick tries again";
    EXPECT_EQ(clock.sleeps(), 0) << "nothing was ended, so nothing is waited for";
}

TEST_F(ProcessSurveyTest, AlwaysRunStartsAtOnceLeavesARunningProgramAndBacksOffWhileNoneShowsUp)
{
    // The rule names one executable, its Exe File starts another.
    rules.processRules().resetRows(
        rows({"firefox|(2) Always Run|/usr/bin/true -x", "empty|(2) Always Run|"}));
    const QStringList& starts = fake.processes().starts();
    cycle.run();
    cycle.tick();
    EXPECT_EQ(starts, QStringList({str("/usr/bin/true -x"), QString()}));
    EXPECT_EQ(logLines().value(1), str("27.02.2004 15:01:23;firefox;(2) Always Run"));
    runFor(60000);
    const qsizetype perRule = starts.count(str("/usr/bin/true -x"));
    EXPECT_EQ(starts.count(QString()), perRule);
    // 50, 100, ... 3200 ms, then every 5 s: 8 starts in the first 6.3 s, then about 11 more.
    EXPECT_GE(perRule, 15);
    EXPECT_LE(perRule, 25);
    // Every start that worked writes its line; a run of failed ones writes one.
    EXPECT_EQ(logLines().size(), 1 + perRule + 1);
    EXPECT_EQ(logLines().count(str("27.02.2004 15:01:23;empty;(2) Always Run: could not be started")), 1);

    // Once seen running it is left alone, and its next disappearance restarts it at once.
    const ProcessId pid = add("firefox");
    runFor(6000);
    EXPECT_EQ(starts.count(str("/usr/bin/true -x")), perRule);
    fake.processes().terminate(pid);
    cycle.tick();
    EXPECT_EQ(starts.count(str("/usr/bin/true -x")), perRule + 1);
    EXPECT_EQ(starts.last(), str("/usr/bin/true -x")) << "the other rule is still backing off";
}

TEST_F(ProcessSurveyTest, CloseWhenIdleIsLeftToTheTimeoutWhichEndsThemAlsoAfterAStop)
{
    rules.processRules().resetRows(
        rows({"browser|(1) Close Process when Computer is Idle", "editor|(0) Ignore"}));
    const ProcessId browser = add("browser");
    add("editor");
    cycle.run();
    runFor(31000);
    ASSERT_EQ(notifier.timeoutMessages, 1);
    EXPECT_TRUE(fake.processes().kills().isEmpty());
    cycle.stop();
    // The message's countdown runs out later and does not ask whether the survey runs.
    processes().CloseIdleProcesses();
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId> {browser});
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(ProcessSurveyTest, OneSnapshotPerTickUntilSomethingChanges)
{
    for (int i = 0; i < 10; ++i) {
        addProcessRule("running", "(2) Always Run", "/usr/bin/running");
        addProcessRule("absent", "(3) Block");
    }
    add("running");
    processes().SurveyProcesses();
    EXPECT_EQ(processes().snapshotsTaken(), 1);
    add("absent");
    processes().SurveyProcesses();
    // The tick's snapshot, then one that sees the process gone and serves the other rows.
    EXPECT_EQ(processes().snapshotsTaken(), 3);
}

TEST_F(ProcessSurveyTest, TheFirstOfANameFollowsExitsAndExecsBetweenSnapshots)
{
    auto& table = fake.processes();
    const ProcessId first = add("game");
    const ProcessId second = add("GAME");
    const ProcessId editor = add("editor");
    EXPECT_EQ(processes().FindProcessId(str("Game")), first);

    table.removeProcess(first);
    table.renameProcess(editor, str("game"));
    processes().invalidateSnapshot();
    EXPECT_EQ(processes().FindProcessId(str("game")), second);
    EXPECT_EQ(processes().FindProcessId(str("editor")), 0u);

    table.renameProcess(second, str("notes"));
    processes().invalidateSnapshot();
    EXPECT_EQ(processes().FindProcessId(str("GAME")), editor);
    EXPECT_EQ(processes().FindProcessId(str("notes")), second);
}

TEST_F(ProcessSurveyTest, AQuietSurveyStillSeesEveryNewRuleAndProcess)
{
    rules.processRules().resetRows(rows({"game|(3) Block", "xclock|(2) Always Run|/usr/bin/xclock"}));
    add("xclock");
    const ProcessId editor = add("editor");
    for (int i = 0; i < 3; ++i)
        processes().SurveyProcesses();
    EXPECT_TRUE(fake.processes().kills().isEmpty());
    EXPECT_TRUE(fake.processes().starts().isEmpty());

    // Rules added or edited while no process came or went.
    addProcessRule("editor", "(3) Block");
    processes().SurveyProcesses();
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId> {editor});
    processes().SurveyProcesses();
    rules.processRules().setCell(2, RuleSet::ProcessName, str("xterm"));
    processes().SurveyProcesses();
    EXPECT_EQ(fake.processes().starts(), QStringList {str("/usr/bin/xclock")});

    // A blocked process that appears, also when a look between surveys saw it first.
    add("xterm");
    processes().SurveyProcesses();
    processes().SurveyProcesses();
    const ProcessId game = add("game");
    processes().SurveyProcesses();
    processes().SurveyProcesses();
    const ProcessId again = add("GAME");
    processes().invalidateSnapshot();
    EXPECT_EQ(processes().FindProcessId(str("game")), again);
    processes().SurveyProcesses();
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId>({editor, game, again}));
}

// The guard's lines are untrusted: only whole, well-formed lines count, however they arrive.
TEST(GuardLines, OnlyWholeWellFormedLinesWithinTheCapReportBlocks)
{
    const std::vector<std::pair<QByteArray, QStringList>> cases = {
        {"blocked\tga\x01m\x1b[1me\xe2\x80\xae\t(3) Block\r\nblocked\tb\tB\n",
            {str("gam[1me|(3) Block"), str("b|B")}},
        {"blocked\tgame\nBlocked\tgame\tB\nblocked\t\x07\tB\nblocked\ta\tB\tC\nblocked\tno end", {}},
        // Dropped whole: what follows the cap is no line of its own.
        {QByteArray(GuardLines::MaxLineBytes, 'x') + "blocked\ttail\tB\nblocked\tnext\tB\n", {str("next|B")}},
    };
    for (const auto& [input, expected] : cases) {
        for (const qsizetype piece : {qsizetype(1), qsizetype(7), input.size()}) {
            GuardLines lines;
            QStringList found;
            for (qsizetype at = 0; at < input.size(); at += piece)
                for (const GuardLines::Blocked& blocked : lines.take(input.mid(at, piece)))
                    found.append(blocked.program + u'|' + blocked.action);
            EXPECT_EQ(found, expected) << input.left(60).toStdString() << " in pieces of " << piece;
        }
    }
}
