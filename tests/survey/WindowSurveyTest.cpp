#include "SurveyFixture.h"

using namespace Tollgate;

namespace {

class WindowSurveyTest : public SurveyTest
{
protected:
    void survey() { cycle.windowSurvey().SurveyWindows(); }
};

} // namespace

TEST_F(WindowSurveyTest, BlockClosesTellsAndLogsTheWindowInFrontOnlyAndAgainWhileItStays)
{
    addWindowRule("*game*", "(1) Block");
    fake.windows().addWindow(str("A game behind"), 1);
    survey();
    EXPECT_TRUE(fake.windows().closeRequests().isEmpty()) << "no window in front";
    EXPECT_TRUE(logLines().isEmpty());

    const WindowId window = show("Big Game; Night");
    survey();
    survey();
    EXPECT_EQ(fake.windows().closeRequests(), QList<WindowId>({window, window}));
    EXPECT_EQ(notifier.blockMessages, 2);
    const QString line = str("27.02.2004 15:01:23;Big Game; Night;*game*");
    EXPECT_EQ(logLines(), QStringList({str("Date/Time;WindowTitle;Keyword"), line, line}));
}

TEST_F(WindowSurveyTest, TheFirstEffectiveRowActsButNeverOnOurOwnWindows)
{
    const auto own = ProcessId(QCoreApplication::applicationPid());
    const QByteArray longTitle = QByteArray(253, 'a') + "x" + QByteArray(46, 'b');
    // Rows ("pattern|action"; none: those of the case before), the window in front and its
    // process, whether it is closed and whether it is raised.
    const std::tuple<std::vector<const char*>, const char*, ProcessId, bool, bool> cases[] = {
        {{"*|(0) Ignore", "*game*|(1) Block"}, "Game", 1, true, false},
        {{"*|(2) Bring To Front", "*game*|(1) Block"}, "Game", 1, false, true},
        {{"*game*|(1) Block", "*|(2) Bring To Front"}, "Game", 1, true, false},
        {{"*|Block", "*|"}, "Game", 1, false, false}, // no code: Ignore
        {{"*x|(1) Block"}, longTitle.constData(), 1, true, false}, // its first 254 characters
        // A "*" Block rule would otherwise close the password prompt as soon as it showed.
        {{"*|(1) Block"}, "Password", own, false, false},
        {{}, "Password", own + 1, true, false},
        {{"*|(2) Bring To Front"}, "Tollgate message", own, false, false},
    };
    for (const auto& [lines, title, pid, closed, raised] : cases) {
        SCOPED_TRACE(title);
        if (!lines.empty())
            rules.windowRules().resetRows(rows(lines));
        const int blocksBefore = notifier.blockMessages;
        const qsizetype logged = logLines().size();
        const WindowId window = show(title, pid);
        survey();
        EXPECT_EQ(fake.windows().closeRequests().contains(window), closed);
        EXPECT_EQ(notifier.blockMessages - blocksBefore, closed ? 1 : 0);
        EXPECT_EQ(logLines().size() > logged, closed);
        EXPECT_EQ(fake.windows().isTopMost(window), raised);
    }
}
