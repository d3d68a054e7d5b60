#include "SurveyFixture.h"

using namespace Tollgate;

namespace {

class WindowSurveyTest : public SurveyTest
{
protected:
    void survey() { cycle.windowSurvey().SurveyWindows(); }
};

} // namespace

TEST_F(WindowSurveyTest, BlockClosesTellsAndLogsTheWindowInFrontOnly)
{
    addWindowRule("*game*", "(1) Block");
    addWindowRule("*x", "(1) Block");
    fake.windows().addWindow(str("A game behind"), 1);
    survey();
    EXPECT_TRUE(fake.windows().closeRequests().isEmpty()) << "no window in front";
    EXPECT_TRUE(logLines().isEmpty());

    const WindowId window = show("Big Game; Night");
    survey();
    EXPECT_EQ(fake.windows().closeRequests(), QList<WindowId> {window});
    EXPECT_EQ(notifier.blockMessages, 1);
    EXPECT_EQ(logLines(),
        QStringList({str("Date/Time;WindowTitle;Keyword"), str("27.02.04 15:01:23;Big Game; Night;*game*")}));
    // Still in front on the next tick: closed, told and logged again.
    survey();
    EXPECT_EQ(fake.windows().closeRequests().size(), 2);
    EXPECT_EQ(logLines().size(), 3);

    // Long titles are compared on their first 254 characters.
    show(QByteArray(253, 'a').append("x").append(QByteArray(46, 'b')).constData());
    survey();
    EXPECT_EQ(notifier.blockMessages, 3);
}

TEST_F(WindowSurveyTest, FirstEffectiveRowWins)
{
    // Rows, whether the window is closed, whether it is raised.
    const std::tuple<QList<QStringList>, bool, bool> cases[] = {
        {{{str("*"), str("(0) Ignore")}, {str("*game*"), str("(1) Block")}}, true, false},
        {{{str("*"), str("(2) Bring To Front")}, {str("*game*"), str("(1) Block")}}, false, true},
        {{{str("*game*"), str("(1) Block")}, {str("*"), str("(2) Bring To Front")}}, true, false},
        {{{str("*"), str("Block")}, {str("*"), QString()}}, false, false}, // no code: Ignore
    };
    for (const auto& [rows, closed, raised] : cases) {
        SCOPED_TRACE(rows.first().join(u' ').toStdString());
        rules.windowRules().resetRows(rows);
        const int blocksBefore = notifier.blockMessages;
        const WindowId window = show("Game");
        survey();
        EXPECT_EQ(fake.windows().closeRequests().contains(window), closed);
        EXPECT_EQ(notifier.blockMessages - blocksBefore, closed ? 1 : 0);
        EXPECT_EQ(fake.windows().isTopMost(window), raised);
    }
}

TEST_F(WindowSurveyTest, RulesNeverCloseOrRaiseOurOwnWindowsButStillWorkForOthers)
{
    // A "*" Block rule would otherwise close the password prompt as soon as it showed.
    addWindowRule("*", "(1) Block");
    const auto own = ProcessId(QCoreApplication::applicationPid());
    show("Password", own);
    survey();
    EXPECT_TRUE(fake.windows().closeRequests().isEmpty());
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());

    const WindowId other = show("Password", own + 1);
    survey();
    EXPECT_EQ(fake.windows().closeRequests(), QList<WindowId> {other});

    rules.windowRules().setCell(1, RuleSet::WindowAction, str("(2) Bring To Front"));
    show("Tollgate message", own);
    survey();
    EXPECT_TRUE(fake.windows().topMostCalls().isEmpty());
}
