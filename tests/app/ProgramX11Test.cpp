// The real program on a private desktop: Xvfb with openbox, real X clients, real
// processes, and a private home.
#include "XServer.h"
#include "common/NamedProgram.h"
#include "common/ProgramDriver.h"
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

class X11Desktop : public Test::ProgramDesktop
{
public:
    explicit X11Desktop(XServer& server)
        : m_server(server)
    { }
    void connect()
    {
        m_platform = Platform::PlatformFactory::create(m_server.display(), QString(), QString());
    }

    QProcessEnvironment environment() override
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_server.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return environment;
    }
    QString installProgram(const QString& folder) override
    {
        const QString path = folder + QStringLiteral("/tollgate");
        return QFile::copy(QStringLiteral(TOLLGATE_BINARY), path) ? path : QString();
    }
    QString makeSleeper(const QString& folder, const QString& prefix) override
    {
        m_sleepers.push_back(std::make_unique<Test::NamedProgram>(prefix, folder));
        return m_sleepers.back()->ready() ? m_sleepers.back()->path() : QString();
    }
    QStringList sleepArguments() override { return {QStringLiteral("600")}; }
    QStringList windowCommand(const QString& title) override
    {
        return {QStringLiteral("xmessage"), QStringLiteral("-title"), title, QStringLiteral("play")};
    }
    int closedWindowExitCode() override { return 1; }
    QList<qint64> processesOf(const QString& fileName) override
    {
        QList<qint64> found;
        for (const Platform::ProcessEntry& entry : Platform::ProcProcessTable().fullSnapshot()) {
            if (entry.name == fileName)
                found.append(entry.pid);
        }
        return found;
    }
    void endAll(const QString& fileName) override
    {
        for (const auto& sleeper : m_sleepers) {
            if (sleeper->name() == fileName)
                sleeper->killAll();
        }
    }

    QList<Window> windowsOf(qint64 pid) override
    {
        QList<Window> found;
        for (const Platform::TopLevelWindow& window : windows().topLevelWindows()) {
            if (windows().windowProcessId(window.window) == Platform::ProcessId(pid))
                found.append(window.window);
        }
        return found;
    }
    QString title(Window window) override { return windows().windowTitle(Platform::WindowId(window)); }
    bool onTop(Window window) override
    {
        Platform::X11Connection& x = m_server.connection();
        return x
            .cardinalListProperty(
                Platform::WindowId(window), x.atom(Platform::X11Connection::NetWmState), XCB_ATOM_ATOM)
            .contains(x.atom(Platform::X11Connection::NetWmStateAbove));
    }
    Window foreground() override { return windows().foregroundWindow(); }
    bool close(Window window) override { return windows().postCloseRequest(Platform::WindowId(window)); }
    void pointerIntoCorner() override
    {
        const xcb_screen_t& screen = m_server.connection().screen();
        xcb_test_fake_input(m_server.connection().get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME,
            m_server.connection().root(), qint16(screen.width_in_pixels - 1),
            qint16(screen.height_in_pixels - 1), 0);
        m_server.roundTrip();
    }
    // Lower-case letters and digits: their keysyms are their ASCII codes.
    void typeLine(const QString& text) override
    {
        constexpr quint32 KeysymReturn = 0xff0d;
        QList<quint32> keysyms;
        for (const QChar character : text)
            keysyms.append(character.unicode());
        keysyms.append(KeysymReturn);
        xcb_connection_t* c = m_server.connection().get();
        for (const quint32 keysym : keysyms) {
            const quint8 keycode = m_server.keycodeOf(keysym);
            xcb_test_fake_input(c, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
            xcb_test_fake_input(c, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        }
        m_server.roundTrip();
    }

private:
    Platform::WindowSystem& windows() { return m_platform->windows(); }

    XServer& m_server;
    std::unique_ptr<Platform::Platform> m_platform;
    std::vector<std::unique_ptr<Test::NamedProgram>> m_sleepers;
};

class ProgramOnX11 : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString reason = XServer::unavailableReason(true); !reason.isEmpty())
            GTEST_SKIP() << "the program's desktop tests need a private X server: " << qPrintable(reason);
        ASSERT_TRUE(m_server.start(true)) << "the private X server did not start";
        m_desktop.connect();
        const QString reason = m_driver.setUp();
        ASSERT_TRUE(reason.isEmpty()) << qPrintable(reason);
    }

    XServer m_server;
    X11Desktop m_desktop {m_server};
    ProgramDriver m_driver {m_desktop};
};

} // namespace

TEST_F(ProgramOnX11, UnattendedStartEnforcesTheDocument)
{
    m_driver.unattendedStartEnforcesTheDocument();
}

TEST_F(ProgramOnX11, PasswordStopsTheSurveyAndShowsTheMainWindow)
{
    m_driver.passwordStopsTheSurveyAndShowsTheMainWindow();
}

TEST_F(ProgramOnX11, InteractiveStartShowsTheSplashThenTheMainWindowAndASecondStartEndsAtOnce)
{
    QStringList seen;
    m_driver.interactiveStartThenASecondStart(&seen);
    EXPECT_TRUE(seen.contains(QStringLiteral("Tollgate"))) << "no splash before the main window";
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

    // It runs unattended all the same: the password (empty) brings the main window.
    ASSERT_NE(m_driver.openPrompt(program), 0u);
    EXPECT_FALSE(m_driver.showsMainWindow(program));
    m_desktop.typeLine(QString());
    EXPECT_TRUE(waitUntil([&] { return m_driver.showsMainWindow(program); }));
    program->waitForReadyRead(500);
    errors += program->readAllStandardError();
    EXPECT_EQ(errors.count('\n'), 1) << errors.toStdString();
}

TEST_F(ProgramOnX11, ABlockEverythingRuleClosesOtherWindowsButNeverThePasswordPrompt)
{
    QProcess* program
        = m_driver.start({m_driver.write(DocumentBuilder()
                                             .window(QStringLiteral("*"), QStringLiteral("(1) Block"))
                                             .password(QStringLiteral("pw")))});
    QProcess* other = m_driver.startWindow(QStringLiteral("anything"));
    ASSERT_TRUE(program && other);
    ASSERT_TRUE(waitUntil([&] { return ProgramDriver::ended(other); }, ProgramDriver::Patience))
        << "the rule did not close another program's window";

    // The prompt takes the focus and stays, however often the survey looks at it.
    ASSERT_NE(m_driver.openPrompt(program), 0u) << m_driver.titles(program).join(u'|').toStdString();
    m_desktop.typeLine(QStringLiteral("pw"));
    EXPECT_TRUE(waitUntil([&] { return m_driver.showsMainWindow(program); }))
        << "locked out: " << m_driver.titles(program).join(u'|').toStdString();
    EXPECT_FALSE(m_driver.log().contains(ProgramDriver::PromptTitle.toUtf8()))
        << m_driver.log().toStdString();
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
