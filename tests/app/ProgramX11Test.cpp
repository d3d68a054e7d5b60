// The real program on a private desktop: Xvfb with openbox, real X clients, real
// processes, and a private home.
#include "XServer.h"
#include "common/LocalProgramDesktop.h"
#include "platform/PlatformFactory.h"
#include "platform/x11/X11Connection.h"

#include <QFile>
#include <gtest/gtest.h>
#include <xcb/xtest.h>

using namespace Tollgate;
using Test::DocumentBuilder;
using Test::ProgramDriver;
using Test::waitUntil;
using Test::XServer;

namespace {

// The private desktop for the program driver.
class ProgramOnX11 : public testing::Test, public Test::LocalProgramDesktop
{
protected:
    void SetUp() override
    {
        if (const QString reason = XServer::unavailableReason(true); !reason.isEmpty())
            GTEST_SKIP() << "the program's desktop tests need a private X server: " << qPrintable(reason);
        ASSERT_TRUE(m_server.start(true)) << "the private X server did not start";
        m_platform = Platform::PlatformFactory::create(m_server.display(), QString(), QString());
        const QString reason = m_driver.setUp();
        ASSERT_TRUE(reason.isEmpty()) << qPrintable(reason);
    }

    QProcessEnvironment environment() override
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_server.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return environment;
    }
    QStringList windowCommand(const QString& title) override
    {
        return {QStringLiteral("xmessage"), QStringLiteral("-title"), title, QStringLiteral("play")};
    }
    int closedWindowExitCode() override { return 1; }

    bool onTop(Window window) override
    {
        Platform::X11Connection& x = m_server.connection();
        return x
            .cardinalListProperty(
                Platform::WindowId(window), x.atom(Platform::X11Connection::NetWmState), XCB_ATOM_ATOM)
            .contains(x.atom(Platform::X11Connection::NetWmStateAbove));
    }
    void pointerIntoCorner() override
    {
        const xcb_screen_t& screen = m_server.connection().screen();
        xcb_test_fake_input(m_server.connection().get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME,
            m_server.connection().root(), qint16(screen.width_in_pixels - 1),
            qint16(screen.height_in_pixels - 1), 0);
        m_server.roundTrip();
    }
    // Lower-case letters and digits: their keysyms are their ASCII codes; Return after them.
    void typeLine(const QString& text) override
    {
        QList<uint> keysyms = text.toUcs4();
        for (const uint keysym : keysyms << 0xff0d) {
            const quint8 keycode = m_server.keycodeOf(keysym);
            for (const quint8 type : {XCB_KEY_PRESS, XCB_KEY_RELEASE})
                xcb_test_fake_input(
                    m_server.connection().get(), type, keycode, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        }
        m_server.roundTrip();
    }

    Platform::WindowSystem& windows() override { return m_platform->windows(); }

    XServer m_server;
    std::unique_ptr<Platform::Platform> m_platform;
    ProgramDriver m_driver {*this};
};

} // namespace

TEST_F(ProgramOnX11, UnattendedStartEnforcesTheDocument)
{
    m_driver.unattendedStartEnforcesTheDocument();
}

TEST_F(ProgramOnX11, ABlockEverythingRuleNeverClosesThePromptWhosePasswordStopsTheSurveyAndShowsTheMainWindow)
{
    m_driver.passwordStopsTheSurveyAndShowsTheMainWindow();
}

TEST_F(ProgramOnX11, InteractiveStartShowsTheSplashThenTheMainWindowAndASecondStartEndsAtOnce)
{
    QStringList seen;
    m_driver.interactiveStartThenASecondStart(&seen);
    EXPECT_TRUE(seen.contains(QStringLiteral("Tollgate"))) << "no splash before the main window";
}

TEST_F(ProgramOnX11, AProgramFollowsItsDocumentAndKeepsTheLastRulesItCouldRead)
{
    m_driver.followsItsDocument();
}

TEST_F(ProgramOnX11, AGuardedStartShowsAndLogsTheBlocksItsGuardReportsAndEnforcesOnAfterItsInputEnds)
{
    // A copy the user started first does not keep the guard's from running.
    QProcess* users = m_driver.start({});
    ASSERT_TRUE(users && waitUntil([&] { return m_driver.showsMainWindow(users); }, ProgramDriver::Patience));
    QProcess* program = m_driver.start(
        {m_driver.write(DocumentBuilder().process(m_driver.blockedName(), QStringLiteral("(3) Block")))},
        true);
    ASSERT_TRUE(program);
    // Lines that report nothing come first: once the good one is logged, they were read too.
    program->write("blocked\tmalformed\nnonsense\n" + QByteArray(5000, 'x')
        + "blocked\ttail\t(3) Block\nblocked\tga\x07me\t(3) Block\n");
    ASSERT_TRUE(program->waitForBytesWritten(30000));
    ASSERT_TRUE(
        waitUntil([&] { return m_driver.log().contains(";game;(3) Block\r\n"); }, ProgramDriver::Patience))
        << m_driver.log().toStdString();
    EXPECT_EQ(m_driver.log().count('\n'), 2) << m_driver.log().toStdString();
    EXPECT_TRUE(waitUntil([&] { return m_driver.window(program, ProgramDriver::MessageTitle) != 0; }))
        << "no block message";

    program->closeWriteChannel();
    QByteArray errors;
    ASSERT_TRUE(waitUntil([&] {
        program->waitForReadyRead(50);
        errors += program->readAllStandardError();
        return errors.contains("input ended");
    })) << errors.toStdString();
    QProcess* sleeper = m_driver.startBlocked();
    ASSERT_TRUE(sleeper && waitUntil([&] { return ProgramDriver::ended(sleeper); }, ProgramDriver::Patience))
        << "the program stopped enforcing when its guard went";
}

TEST_F(ProgramOnX11, AnUnreadableDocumentStartsTheSurveyAndWarnsOnce)
{
    const QString path = Sandbox::folder() + QStringLiteral("/missing rules.Tollgate");
    QProcess* program = m_driver.start({path});
    ASSERT_TRUE(program);
    QByteArray errors;
    ASSERT_TRUE(waitUntil([&] {
        program->waitForReadyRead(50);
        errors += program->readAllStandardError();
        return errors.contains('\n');
    }));
    EXPECT_TRUE(errors.contains(path.toUtf8())) << errors.toStdString();
    // It runs unattended all the same: the prompt opens on the corner gesture.
    EXPECT_NE(m_driver.openPrompt(program), 0u);
}

TEST_F(ProgramOnX11, WhenTheDisplayDiesTheProgramExitsWithAReasonInsteadOfCrashingOrSpinning)
{
    QProcess* program
        = m_driver.start({m_driver.write(DocumentBuilder()
                                             .process(m_driver.blockedName(), QStringLiteral("(3) Block"))
                                             .password(QStringLiteral("pw")))});
    QProcess* sleeper = m_driver.startBlocked();
    ASSERT_TRUE(program && sleeper);
    // Enforcing: a blocked process is ended.
    ASSERT_TRUE(waitUntil([&] { return ProgramDriver::ended(sleeper); }, ProgramDriver::Patience));

    m_server.killServer();
    ASSERT_TRUE(program->waitForFinished(60000)) << "the program kept running without its display";
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit) << "the program crashed";
    EXPECT_NE(program->exitCode(), 0);
    // Qt's own line names the lost connection; the exit status tells the service manager.
    const QByteArray errors = program->readAllStandardError();
    EXPECT_TRUE(errors.contains("X11 connection broke") || errors.contains("X server"))
        << errors.toStdString();
}
