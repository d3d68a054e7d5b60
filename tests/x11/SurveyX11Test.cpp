// The survey on a real desktop: a private Xvfb with openbox, real X clients and real
// processes, the real platform backends.
#include "XServer.h"
#include "common/TestEnvironment.h"
#include "platform/PlatformFactory.h"
#include "platform/linux/ProcProcessTable.h"
#include "platform/x11/X11Connection.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"
#include "survey/SurveyNotifier.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <csignal>
#include <gtest/gtest.h>

using namespace Tollgate;
using Tollgate::Test::waitUntil;
using Tollgate::Test::XServer;

namespace {

class CountingNotifier : public SurveyNotifier
{
public:
    int blockMessages = 0;
    void showBlockMessage() override { ++blockMessages; }
    void showTimeoutMessage() override { }
    void showPasswordPrompt() override { }
};

class SurveyOnX11 : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString reason = XServer::unavailableReason(true); !reason.isEmpty())
            GTEST_SKIP() << "the survey's desktop test needs a private X server: " << qPrintable(reason);
        ASSERT_TRUE(m_server.start(true)) << "the private X server did not start";
        m_platform = Platform::PlatformFactory::create(m_server.display(), QString(), QString());
        m_log = std::make_unique<ActivityLog>(Sandbox::folder() + QStringLiteral("/Tollgate.log"), m_clock);
        m_cycle = std::make_unique<SurveyCycle>(m_rules, *m_platform, m_notifier, *m_log, m_clock);
        m_cycle->run();
        // A program of our own name, so that rules touch nothing else on this machine.
        m_program
            = Sandbox::folder() + QStringLiteral("/tg-e2e-%1").arg(QRandomGenerator::global()->generate());
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), m_program));
    }

    void TearDown() override
    {
        if (m_program.isEmpty())
            return;
        // Whatever the survey started runs in its own session: end it by name.
        Platform::ProcProcessTable table;
        const QString name = m_program.section(u'/', -1);
        for (const Platform::ProcessEntry& entry : table.fullSnapshot()) {
            if (entry.name == name)
                ::kill(pid_t(entry.pid), SIGKILL);
        }
    }

    // Ticks the survey until the condition holds, at its own pace.
    bool tickUntil(const std::function<bool()>& condition)
    {
        return waitUntil([&] {
            m_cycle->tick();
            return condition();
        });
    }
    // QProcess learns of an exit only when asked or through the event loop.
    static bool exited(QProcess* process)
    {
        return process->state() == QProcess::NotRunning || process->waitForFinished(1);
    }
    QString programName() const { return m_program.section(u'/', -1); }
    QByteArray logText() const { return Sandbox::readFile(m_log->LogFilePath()); }

    XServer m_server;
    std::unique_ptr<Platform::Platform> m_platform;
    RuleSet m_rules;
    CountingNotifier m_notifier;
    SystemClock m_clock;
    std::unique_ptr<ActivityLog> m_log;
    std::unique_ptr<SurveyCycle> m_cycle;
    QString m_program;
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
    QProcess* blocked = m_server.startClient(m_program, {QStringLiteral("300")});
    ASSERT_TRUE(blocked);
    ASSERT_TRUE(waitUntil([&] { return blocked->state() == QProcess::Running; }));
    m_rules.processRules().appendRow({programName().toUpper(), QStringLiteral("(3) Block")});
    ASSERT_TRUE(tickUntil([&] { return exited(blocked); })) << "not terminated";
    EXPECT_EQ(m_notifier.blockMessages, 1);
    EXPECT_TRUE(logText().contains(";" + programName().toUpper().toUtf8() + ";(3) Block\r\n"));

    m_rules.processRules().clear();
    m_rules.processRules().appendRow(
        {programName(), QStringLiteral("(2) Always Run"), u'"' + m_program + QStringLiteral("\" 300")});
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
    EXPECT_GE(logText().count(";(2) Always Run\r\n"), 2);
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
