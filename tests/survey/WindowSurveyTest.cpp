#include "SurveyFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

class WindowSurveyTest : public testing::Test, protected SurveyFixture
{
protected:
    Platform::WindowId show(const char* title, Platform::ProcessId pid = 1)
    {
        const auto window = fake.windows().addWindow(QString::fromUtf8(title), pid);
        fake.windows().setForegroundWindow(window);
        return window;
    }
    void survey() { cycle.windowSurvey().SurveyWindows(); }
};

} // namespace

TEST_F(WindowSurveyTest, BlockClosesTellsAndLogs)
{
    addWindowRule("*game*", "(1) Block");
    const auto window = show("Big Game; Night");
    survey();
    EXPECT_EQ(fake.windows().closeRequests(), QList<Platform::WindowId> {window});
    EXPECT_EQ(notifier.blockMessages, 1);
    EXPECT_EQ(logLines(),
        QStringList({QStringLiteral("Date/Time;WindowTitle;Keyword"),
            QStringLiteral("27.02.04 15:01:23;Big Game; Night;*game*")}));
    // Still in front on the next tick: closed, told and logged again.
    survey();
    EXPECT_EQ(fake.windows().closeRequests().size(), 2);
    EXPECT_EQ(logLines().size(), 3);
}

TEST_F(WindowSurveyTest, FirstEffectiveRowWins)
{
    addWindowRule("*", "(0) Ignore");
    addWindowRule("*game*", "(1) Block");
    show("Game");
    survey();
    EXPECT_EQ(notifier.blockMessages, 1) << "an Ignore row shields nothing";

    rules.windowRules().clear();
    addWindowRule("*", "(2) Bring To Front");
    addWindowRule("*game*", "(1) Block");
    const auto window = show("Game");
    survey();
    EXPECT_EQ(notifier.blockMessages, 1) << "bring to front came first";
    EXPECT_TRUE(fake.windows().isTopMost(window));
    EXPECT_TRUE(fake.windows().closeRequests().size() == 1);

    rules.windowRules().clear();
    addWindowRule("*", "Block"); // no code: Ignore
    addWindowRule("*", "");
    survey();
    EXPECT_EQ(notifier.blockMessages, 1);
}

TEST_F(WindowSurveyTest, NothingHappensWithoutAForegroundWindow)
{
    addWindowRule("*", "(1) Block");
    fake.windows().setForegroundWindow(0);
    survey();
    EXPECT_TRUE(fake.windows().closeRequests().isEmpty());
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(WindowSurveyTest, LongTitlesAreComparedOnTheirFirst254Characters)
{
    addWindowRule("*x", "(1) Block");
    show(QByteArray(253, 'a').append("x").append(QByteArray(46, 'b')).constData());
    survey();
    EXPECT_EQ(notifier.blockMessages, 1);
}

TEST_F(WindowSurveyTest, RuleEditedWhileRunningTakesEffectOnTheNextTick)
{
    addWindowRule("*editor*", "(0) Ignore");
    show("Text Editor");
    cycle.run();
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 0);
    rules.windowRules().setCell(1, RuleSet::WindowAction, QStringLiteral("(1) Block"));
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 1);

    // A changed pattern is matched as it now reads, also after rows were removed.
    rules.windowRules().setCell(1, RuleSet::WindowPattern, QStringLiteral("*browser*"));
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 1);
    rules.windowRules().appendRow({QStringLiteral("*text*"), QStringLiteral("(1) Block")});
    rules.windowRules().removeRule(1);
    cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 2);
}

TEST_F(WindowSurveyTest, RulesNeverCloseOrRaiseOurOwnWindowsButStillWorkForOthers)
{
    // A "*" Block rule would otherwise close the password prompt as soon as it showed.
    addWindowRule("*", "(1) Block");
    const auto own = Platform::ProcessId(QCoreApplication::applicationPid());
    show("Password", own);
    survey();
    EXPECT_TRUE(fake.windows().closeRequests().isEmpty());
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());

    const auto other = show("Password", own + 1);
    survey();
    EXPECT_EQ(fake.windows().closeRequests(), QList<Platform::WindowId> {other});

    rules.windowRules().setCell(1, RuleSet::WindowAction, QStringLiteral("(2) Bring To Front"));
    show("Tollgate message", own);
    survey();
    EXPECT_TRUE(fake.windows().topMostCalls().isEmpty());
}
