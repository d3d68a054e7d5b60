#include "SurveyFixture.h"

#include <gtest/gtest.h>

using namespace Tollgate;
using Platform::ProcessId;

namespace {

class ProcessSurveyTest : public testing::Test, protected SurveyFixture
{
protected:
    QStringList reports;

    ProcessSurveyTest()
    {
        cycle.processSurvey().setReporter([this](const QString& text) { reports.append(text); });
    }
    ProcessSurvey& survey() { return cycle.processSurvey(); }
    ProcessId add(const char* name) { return fake.processes().addProcess(QString::fromUtf8(name)); }
};

} // namespace

TEST_F(ProcessSurveyTest, BlockTerminatesEveryProcessOfTheName)
{
    addProcessRule("GAME.EXE", "(3) Block");
    const ProcessId first = add("game.exe");
    add("other");
    const ProcessId second = add("Game.exe");
    fake.windows().addWindow(QStringLiteral("Game"), second);
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId>({first, second})) << "with or without a window";
    EXPECT_EQ(notifier.blockMessages, 1);
    EXPECT_EQ(logLines().last(), QStringLiteral("27.02.04 15:01:23;GAME.EXE;(3) Block"));
    EXPECT_EQ(fake.windows().topLevelWindows().size(), 0);
}

TEST_F(ProcessSurveyTest, TwoBlockRowsForOneName)
{
    addProcessRule("game", "(3) Block");
    addProcessRule("game", "(3) Block");
    add("game");
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().kills().size(), 1);
    EXPECT_EQ(notifier.blockMessages, 1) << "the second row finds nothing in the same tick";
    EXPECT_EQ(logLines().size(), 2);
}

TEST_F(ProcessSurveyTest, BlockOfAProcessThatIsNotRunningDoesNothing)
{
    addProcessRule("game", "(3) Block");
    addProcessRule("c:\\games\\game", "(3) Block");
    add("other");
    survey().SurveyProcesses();
    EXPECT_TRUE(fake.processes().kills().isEmpty());
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(ProcessSurveyTest, ProcessesThatMayNotBeEndedAreReportedOnceAndNotShownAsBlocked)
{
    addProcessRule("root-daemon", "(3) Block");
    const ProcessId pid = add("root-daemon");
    fake.processes().setTerminationPermitted(pid, false);
    cycle.run();
    runFor(1000);
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(reports.size(), 1);
    EXPECT_EQ(fake.processes().kills().size(), 20) << "the next tick tries again";
    EXPECT_EQ(clock.sleeps(), 0) << "nothing was ended, so nothing is waited for";
}

TEST_F(ProcessSurveyTest, AReportedNameCannotStartALineOfItsOwn)
{
    addProcessRule("odd\nForged: line", "(3) Block");
    fake.processes().setTerminationPermitted(add("odd\nForged: line"), false);
    cycle.run();
    cycle.tick();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_FALSE(reports.first().contains(u'\n')) << reports.first().toStdString();
    EXPECT_TRUE(reports.first().contains(QStringLiteral("odd?Forged: line")));
}

TEST_F(ProcessSurveyTest, AlwaysRunStartsAMissingProgramAtOnce)
{
    addProcessRule("xclock", "(2) Always Run", "/usr/bin/xclock -digital");
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().starts(), QStringList {QStringLiteral("/usr/bin/xclock -digital")});
    EXPECT_EQ(logLines().last(), QStringLiteral("27.02.04 15:01:23;xclock;(2) Always Run"));
    // Running now: left alone.
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().starts().size(), 1);
    // Killed: started again on the very next tick.
    fake.processes().terminate(survey().FindProcessId(QStringLiteral("xclock")));
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().starts().size(), 2);
}

TEST_F(ProcessSurveyTest, AlwaysRunBacksOffWhileTheProgramNeverShowsUp)
{
    // The rule names one executable, its Exe File starts another.
    addProcessRule("firefox", "(2) Always Run", "/usr/bin/true");
    addProcessRule("empty", "(2) Always Run", "");
    cycle.run();
    runFor(60000);
    const QStringList& starts = fake.processes().starts();
    const qsizetype perRule = starts.count(QStringLiteral("/usr/bin/true"));
    EXPECT_EQ(starts.count(QString()), perRule);
    // 50, 100, ... 3200 ms, then every 5 s: 8 starts in the first 6.3 s, then about 11 more.
    EXPECT_GE(perRule, 15);
    EXPECT_LE(perRule, 25);
    EXPECT_EQ(logLines().size(), 1 + 2 * perRule) << "every attempted start writes its line";

    // Once seen running, the next disappearance restarts at once.
    const ProcessId pid = add("firefox");
    runFor(100);
    const qsizetype before = fake.processes().starts().size();
    fake.processes().terminate(pid);
    cycle.tick();
    EXPECT_EQ(fake.processes().starts().size(), before + 1) << "the other rule is still backing off";
    EXPECT_EQ(fake.processes().starts().last(), QStringLiteral("/usr/bin/true"));
}

TEST_F(ProcessSurveyTest, CloseWhenIdleIsLeftToTheTimeout)
{
    addProcessRule("browser", "(1) Close Process when Computer is Idle");
    addProcessRule("editor", "(0) Ignore");
    const ProcessId browser = add("browser");
    add("editor");
    survey().SurveyProcesses();
    EXPECT_TRUE(fake.processes().kills().isEmpty());

    survey().CloseIdleProcesses();
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
    survey().SurveyProcesses();
    EXPECT_EQ(survey().snapshotsTaken(), 1);
    add("absent");
    survey().SurveyProcesses();
    // The tick's snapshot, then one that sees the process gone and serves the other rows.
    EXPECT_EQ(survey().snapshotsTaken(), 3);
}

TEST_F(ProcessSurveyTest, TheFirstOfANameFollowsExitsAndExecsBetweenSnapshots)
{
    auto& processes = fake.processes();
    const ProcessId first = add("game");
    const ProcessId second = add("GAME");
    const ProcessId editor = add("editor");
    EXPECT_EQ(survey().FindProcessId(QStringLiteral("Game")), first);

    processes.removeProcess(first);
    processes.renameProcess(editor, QStringLiteral("game"));
    survey().invalidateSnapshot();
    EXPECT_EQ(survey().FindProcessId(QStringLiteral("game")), second);
    EXPECT_EQ(survey().FindProcessId(QStringLiteral("editor")), 0u);

    processes.renameProcess(second, QStringLiteral("notes"));
    survey().invalidateSnapshot();
    EXPECT_EQ(survey().FindProcessId(QStringLiteral("GAME")), editor);
    EXPECT_EQ(survey().FindProcessId(QStringLiteral("notes")), second);
}

TEST_F(ProcessSurveyTest, AQuietSurveyStillSeesEveryNewRuleAndProcess)
{
    addProcessRule("game", "(3) Block");
    addProcessRule("xclock", "(2) Always Run", "/usr/bin/xclock");
    add("xclock");
    const ProcessId editor = add("editor");
    for (int i = 0; i < 3; ++i)
        survey().SurveyProcesses();
    EXPECT_TRUE(fake.processes().kills().isEmpty());
    EXPECT_TRUE(fake.processes().starts().isEmpty());

    // Rules added or edited while no process came or went.
    addProcessRule("editor", "(3) Block");
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId> {editor});
    survey().SurveyProcesses();
    rules.processRules().setCell(2, RuleSet::ProcessName, QStringLiteral("xterm"));
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().starts(), QStringList {QStringLiteral("/usr/bin/xclock")});

    // A blocked process that appears, also when a look between surveys saw it first.
    add("xterm");
    survey().SurveyProcesses();
    survey().SurveyProcesses();
    const ProcessId game = add("game");
    survey().SurveyProcesses();
    survey().SurveyProcesses();
    const ProcessId again = add("GAME");
    survey().invalidateSnapshot();
    EXPECT_EQ(survey().FindProcessId(QStringLiteral("game")), again);
    survey().SurveyProcesses();
    EXPECT_EQ(fake.processes().kills(), QList<ProcessId>({editor, game, again}));
}
