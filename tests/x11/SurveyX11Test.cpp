// The survey on a real desktop: a private Xvfb with openbox, real X clients and real
// processes, the real platform backends.
#include "X11SurveyFixture.h"
#include "common/NamedProgram.h"
#include "platform/linux/ProcProcessTable.h"
#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <csignal>

using namespace Tollgate;
using Tollgate::Test::waitUntil;

namespace {

class SurveyOnX11 : public Tollgate::Test::X11SurveyFixture
{
protected:
    void SetUp() override
    {
        startDesktop(true, "the survey's desktop test");
        if (IsSkipped() || HasFatalFailure())
            return;
        m_cycle->run();
        ASSERT_TRUE(m_sleeper.ready());
    }

    void TearDown() override { m_sleeper.killAll(); }

    QString programName() const { return m_sleeper.name(); }
    Tollgate::Test::NamedProgram m_sleeper {QStringLiteral("tg-e2e-")};
};

} // namespace

TEST_F(SurveyOnX11, BlocksAWindowByItsTitle)
{
    m_rules.windowRules().appendRow({QStringLiteral("*forbidden*"), QStringLiteral("(1) Block")});
    QProcess* message = m_server.startClient(QStringLiteral("xmessage"),
        {QStringLiteral("-title"), QStringLiteral("A Forbidden Game"), QStringLiteral("x")});
    ASSERT_TRUE(message);
    ASSERT_TRUE(tickUntil([&] { return exited(message); })) << "xmessage was not closed";
    EXPECT_GE(m_notifier.blockMessages, 1);
    EXPECT_TRUE(logText().contains(";A Forbidden Game;*forbidden*\r\n")) << logText().toStdString();
}

TEST_F(SurveyOnX11, BringsAWindowToFront)
{
    m_rules.windowRules().appendRow({QStringLiteral("exam*"), QStringLiteral("(2) Bring To Front")});
    QProcess* message = m_server.startClient(QStringLiteral("xmessage"),
        {QStringLiteral("-title"), QStringLiteral("Exam paper"), QStringLiteral("x")});
    ASSERT_TRUE(message);
    Platform::X11Connection& x = m_server.connection();
    const auto above = x.atom(Platform::X11Connection::NetWmStateAbove);
    ASSERT_TRUE(tickUntil([&] {
        const Platform::WindowId window = m_platform->windows().foregroundWindow();
        return window != 0
            && x.cardinalListProperty(window, x.atom(Platform::X11Connection::NetWmState), XCB_ATOM_ATOM)
                   .contains(above);
    }));
    EXPECT_FALSE(exited(message)) << "brought to front, not closed";
    EXPECT_EQ(m_notifier.blockMessages, 0);
}

TEST_F(SurveyOnX11, TerminatesABlockedProcessAndRestartsAnAlwaysRunOne)
{
    QProcess* blocked = m_server.startClient(m_sleeper.path(), {QStringLiteral("300")});
    ASSERT_TRUE(blocked);
    ASSERT_TRUE(waitUntil([&] { return blocked->state() == QProcess::Running; }));
    m_rules.processRules().appendRow({programName().toUpper(), QStringLiteral("(3) Block")});
    ASSERT_TRUE(tickUntil([&] { return exited(blocked); })) << "not terminated";
    EXPECT_EQ(m_notifier.blockMessages, 1);
    EXPECT_TRUE(logText().contains(";" + programName().toUpper().toUtf8() + ";(3) Block\r\n"));

    m_rules.processRules().clear();
    m_rules.processRules().appendRow({programName(), QStringLiteral("(2) Always Run"),
        u'"' + m_sleeper.path() + QStringLiteral("\" 300")});
    Platform::ProcProcessTable table;
    auto running = [&] {
        for (const Platform::ProcessEntry& entry : table.fullSnapshot()) {
            if (entry.name == programName())
                return entry.pid;
        }
        return Platform::ProcessId(0);
    };
    ASSERT_TRUE(tickUntil([&] { return running() != 0; })) << "not started";
    const Platform::ProcessId first = running();
    ::kill(pid_t(first), SIGKILL);
    ASSERT_TRUE(tickUntil([&] { return running() != 0 && running() != first; })) << "not started again";
    EXPECT_GE(logText().count(";(2) Always Run\r\n"), 2) << logText().toStdString();
}

TEST_F(SurveyOnX11, ARetitledWindowIsBlockedWithoutWaitingForATick)
{
    // A survey whose tick would come only after an hour: whatever it does before then, it
    // does because the desktop reported a change.
    m_cycle->stop();
    SurveyCycle eventDriven(m_rules, *m_platform, m_notifier, *m_log, m_clock, 3600 * 1000);
    eventDriven.run();
    m_rules.windowRules().appendRow({QStringLiteral("*forbidden*"), QStringLiteral("(1) Block")});
    QProcess* message = m_server.startClient(QStringLiteral("xmessage"),
        {QStringLiteral("-title"), QStringLiteral("Harmless notes"), QStringLiteral("x")});
    ASSERT_TRUE(message);
    // Watched from the test's own connection, so that only the survey asks the backend.
    Platform::X11Connection& x = m_server.connection();
    const auto activeTitle = [&x] {
        const xcb_window_t active
            = x.cardinalProperty(x.root(), x.atom(Platform::X11Connection::NetActiveWindow), XCB_ATOM_WINDOW);
        const auto name = x.property(active, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
        return std::pair(active,
            name ? QByteArray(static_cast<const char*>(xcb_get_property_value(name.get())),
                xcb_get_property_value_length(name.get()))
                 : QByteArray());
    };
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return activeTitle().second == "Harmless notes" && eventDriven.surveysRun() > 0;
    }));
    const xcb_window_t window = activeTitle().first;
    const int surveysBefore = eventDriven.surveysRun();

    const QByteArray title("Now a forbidden game");
    for (const xcb_atom_t property :
        {xcb_atom_t(XCB_ATOM_WM_NAME), x.atom(Platform::X11Connection::NetWmName)})
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, window, property,
            property == XCB_ATOM_WM_NAME ? xcb_atom_t(XCB_ATOM_STRING)
                                         : x.atom(Platform::X11Connection::Utf8String),
            8, quint32(title.size()), title.constData());
    m_server.roundTrip();
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return exited(message);
    })) << "the retitled window was not closed";
    EXPECT_GT(eventDriven.surveysRun(), surveysBefore);
    EXPECT_GE(m_notifier.blockMessages, 1);
    EXPECT_TRUE(logText().contains(";Now a forbidden game;*forbidden*\r\n")) << logText().toStdString();
}
