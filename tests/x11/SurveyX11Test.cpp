// The survey on a private Xvfb with the real platform backends, on a desktop that works
// against it (titles of a megabyte, of invalid UTF-8, of control and direction characters,
// and thousands of windows), where nothing may crash and no title may write a log line of
// its own. Always Run on real processes is the real program's part (ProgramDriver).
#include "X11Desktop.h"

using namespace Tollgate;
using namespace Tollgate::Test;

namespace {

// Without a window manager the focus is the foreground window, which the helper windows
// take for themselves.
class SurveyOnX11 : public DesktopContract<X11Desktop<false>>
{
protected:
    void SetUp() override
    {
        DesktopContract::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_survey.emplace(*this, SurveyCycle::IntervalMs);
        m_rules.windowRules().resetRows({{QStringLiteral("evil*"), QStringLiteral("(1) Block")}});
    }
    void TearDown() override
    {
        m_survey.reset();
        DesktopContract::TearDown();
    }

    // A window of another process, titled with exactly these bytes, that takes the focus.
    QProcess* startWindow(const QByteArray& title)
    {
        const QString file = Sandbox::writeFile(QStringLiteral("title-%1").arg(++m_titles), title);
        return s_desktop->startClient(QStringLiteral(TOLLGATE_SOAK_WINDOW),
            {QStringLiteral("60000"), QStringLiteral("60000"), u'@' + file});
    }
    // True once the survey, ticking at its own pace, has closed the window.
    bool closedBySurvey(const QByteArray& title)
    {
        QProcess* window = startWindow(title);
        return window && waitUntil([&] {
            m_survey->cycle.tick();
            return ChildProcesses::exited(window);
        }) && window->exitCode() == 10;
    }

    std::optional<Survey> m_survey;
    int m_titles = 0;
};

TEST_F(SurveyOnX11, StrangeTitlesAreMatchedAndLoggedOnOneLineEach)
{
    const QByteArray forged = "\r\n01.01.01 00:00:00;forged;*";
    for (const QByteArray& title : {"evil " + QByteArray(1024 * 1024, 'x'),
             QByteArray("evil \xff\xfe\xc3 \xed\xa0\x80 half a character \xe2\x82"),
             "evil\t\x1b[2J\x07" + forged,
             "evil \xe2\x80\xae"
             "exe.txt \xe2\x80\xac \xe2\x80\xa8 \xc2\x85"
                 + forged})
        EXPECT_TRUE(closedBySurvey(title)) << "not closed: " << title.left(40).toStdString();

    const QStringList lines
        = QString::fromUtf8(m_survey->logText()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + m_notifier.blockMessages);
    for (const QString& line : lines.sliced(1)) {
        EXPECT_TRUE(line.contains(QStringLiteral(";evil"))) << line.toStdString();
        EXPECT_LE(line.size(), 400) << "a title is logged as far as it was compared";
    }
}

TEST_F(SurveyOnX11, FiveThousandWindowsAreListedAndTheSurveyStillActs)
{
    // On a connection of their own, which takes them along when it closes.
    const auto crowd = Platform::X11Connection::open(s_desktop->display().toLocal8Bit(), nullptr);
    ASSERT_TRUE(crowd);
    Platform::X11Connection& x = *crowd;
    xcb_connection_t* c = x.get();
    for (int i = 0; i < 5000; ++i) {
        const xcb_window_t window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x.root(), i % 1000, i / 10, 20, 20, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray title = "crowd " + QByteArray::number(i);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
            quint32(title.size()), title.constData());
        xcb_map_window(c, window);
    }
    XServer::roundTrip(x);
    EXPECT_GE(m_platform->windows().topLevelWindows().size(), 5000);
    EXPECT_TRUE(closedBySurvey("evil among the crowd"));
}

} // namespace
