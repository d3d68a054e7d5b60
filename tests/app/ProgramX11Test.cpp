// The real program on a private desktop: Xvfb with openbox, real X clients, real
// processes, and a private home.
#include "XServer.h"
#include "common/NamedProgram.h"
#include "common/TestEnvironment.h"
#include "platform/PlatformFactory.h"
#include "platform/x11/X11Connection.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <xcb/xtest.h>

using namespace Tollgate;
using Tollgate::Test::waitUntil;
using Tollgate::Test::XServer;

namespace {

const QString MainTitle = QStringLiteral("Tollgate - Blocking Windows and Processes");
const QString MessageTitle = QStringLiteral("Tollgate Message");
const QString PromptTitle = QStringLiteral("Enter Tollgate Password");
constexpr quint32 KeysymReturn = 0xff0d;

class ProgramOnX11 : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString reason = XServer::unavailableReason(true); !reason.isEmpty())
            GTEST_SKIP() << "the program's desktop tests need a private X server: " << qPrintable(reason);
        ASSERT_TRUE(m_server.start(true)) << "the private X server did not start";
        m_platform = Platform::PlatformFactory::create(m_server.display(), QString(), QString());
        // A copy of the program in a folder of this test's own, so that its activity log,
        // which lies beside it, is this test's too.
        ASSERT_TRUE(m_folder.isValid());
        m_binary = m_folder.filePath(QStringLiteral("tollgate"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TOLLGATE_BINARY), m_binary));
        ASSERT_TRUE(m_sleeper.ready());
    }

    void TearDown() override
    {
        for (const auto& process : m_programs) {
            process->kill();
            process->waitForFinished(10000);
        }
        m_sleeper.killAll();
    }

    QString sleeperName() const { return m_sleeper.name(); }
    QString logPath() const { return QFileInfo(m_binary).absolutePath() + QStringLiteral("/Tollgate.log"); }
    QByteArray logText() const { return Sandbox::readFile(logPath()); }

    // Starts the program with the sandbox's environment on the private display.
    QProcess& startProgram(const QStringList& arguments)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_server.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process->setProcessEnvironment(environment);
        process->start(m_binary, arguments);
        EXPECT_TRUE(process->waitForStarted(30000));
        m_programs.push_back(std::move(process));
        return *m_programs.back();
    }

    // The titles of the top-level windows that the process shows now.
    QStringList windowTitlesOf(const QProcess& process)
    {
        QStringList titles;
        const auto pid = Platform::ProcessId(process.processId());
        for (const Platform::TopLevelWindow& window : m_platform->windows().topLevelWindows()) {
            if (m_platform->windows().windowProcessId(window.window) == pid)
                titles.append(m_platform->windows().windowTitle(window.window));
        }
        return titles;
    }

    Platform::WindowId windowOf(const QProcess& process, const QString& titleStart)
    {
        const auto pid = Platform::ProcessId(process.processId());
        for (const Platform::TopLevelWindow& window : m_platform->windows().topLevelWindows()) {
            if (m_platform->windows().windowProcessId(window.window) == pid
                && m_platform->windows().windowTitle(window.window).startsWith(titleStart))
                return window.window;
        }
        return 0;
    }

    bool showsMainWindow(const QProcess& process) { return windowTitlesOf(process).contains(MainTitle); }

    bool isAbove(Platform::WindowId window)
    {
        Platform::X11Connection& x = m_server.connection();
        return x.cardinalListProperty(window, x.atom(Platform::X11Connection::NetWmState), XCB_ATOM_ATOM)
            .contains(x.atom(Platform::X11Connection::NetWmStateAbove));
    }

    void movePointer(int x, int y)
    {
        xcb_test_fake_input(m_server.connection().get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME,
            m_server.connection().root(), qint16(x), qint16(y), 0);
        m_server.roundTrip();
    }

    void typeKey(quint32 keysym)
    {
        const quint8 keycode = m_server.keycodeOf(keysym);
        ASSERT_NE(keycode, 0) << "no key for keysym " << keysym;
        xcb_connection_t* c = m_server.connection().get();
        xcb_test_fake_input(c, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        m_server.roundTrip();
    }

    // Lower-case letters and digits: their keysyms are their ASCII codes.
    void typeText(const QString& text)
    {
        for (const QChar character : text)
            typeKey(character.unicode());
    }

    // Whether a process we started has ended; waiting lets QProcess see its exit.
    static bool ended(QProcess& process)
    {
        return process.state() == QProcess::NotRunning || process.waitForFinished(50);
    }

    QString writeDocument(
        const QByteArray& windowRules, const QByteArray& processRules, const QByteArray& password)
    {
        return Sandbox::writeFile(
            QDir(Sandbox::folder()).relativeFilePath(m_folder.filePath(QStringLiteral("lab rules.Tollgate"))),
            "[Windows]\r\n" + windowRules + "[Processes]\r\n" + processRules
                + "[General]\r\nPassword=" + password + "\r\n");
    }

    // Pushes the pointer into the bottom-right corner until the password prompt shows.
    Platform::WindowId openPromptByCorner(const QProcess& program)
    {
        const xcb_screen_t& screen = m_server.connection().screen();
        Platform::WindowId prompt = 0;
        waitUntil(
            [&] {
                movePointer(screen.width_in_pixels - 1, screen.height_in_pixels - 1);
                waitUntil(
                    [&] { return (prompt = windowOf(program, PromptTitle)) != 0; }, std::chrono::seconds(1));
                return prompt != 0;
            },
            std::chrono::seconds(90));
        return prompt;
    }

    QTemporaryDir m_folder {Sandbox::folder() + QStringLiteral("/program-XXXXXX")};
    XServer m_server;
    std::unique_ptr<Platform::Platform> m_platform;
    QString m_binary;
    Tollgate::Test::NamedProgram m_sleeper {QStringLiteral("tgb")};
    std::vector<std::unique_ptr<QProcess>> m_programs;
};

} // namespace

TEST_F(ProgramOnX11, UnattendedStartEnforcesTheDocumentWithoutEverShowingTheMainWindow)
{
    const QString tag = sleeperName();
    QProcess* sleeper = m_server.startClient(m_sleeper.path(), {QStringLiteral("600")});
    ASSERT_TRUE(sleeper);
    const QString path
        = writeDocument("Count=1\r\nCaption_1=*forbidden-" + tag.toUtf8() + "*\r\nAction_1=1\r\n",
            "Count=1\r\nProcess_1=" + tag.toUtf8() + "\r\nAction_1=3\r\n", "pw");
    // The path has a blank: it arrives in two arguments and is whole again.
    QProcess& program = startProgram(path.split(u' '));

    bool mainWindowSeen = false;
    const auto watching = [&](const std::function<bool()>& condition) {
        return waitUntil(
            [&] {
                mainWindowSeen = mainWindowSeen || showsMainWindow(program);
                return condition();
            },
            std::chrono::seconds(90));
    };
    ASSERT_TRUE(watching([&] { return ended(*sleeper); })) << "the blocked process was not terminated";

    QProcess* game = m_server.startClient(QStringLiteral("xmessage"),
        {QStringLiteral("-title"), QStringLiteral("A forbidden-%1 game").arg(tag), QStringLiteral("play")});
    ASSERT_TRUE(game);
    ASSERT_TRUE(watching([&] { return ended(*game); })) << "the blocked window stayed";

    Platform::WindowId message = 0;
    ASSERT_TRUE(watching([&] {
        return (message = windowOf(program, MessageTitle)) != 0 && isAbove(message);
    })) << "no block message on top: "
        << windowTitlesOf(program).join(u'|').toStdString();
    EXPECT_TRUE(watching([&] {
        const QByteArray log = logText();
        return log.contains(";A forbidden-" + tag.toUtf8() + " game;*forbidden-" + tag.toUtf8() + "*\r\n")
            && log.contains(";" + tag.toUtf8() + ";(3) Block\r\n");
    })) << logText().toStdString();
    EXPECT_TRUE(logText().startsWith("Date/Time;WindowTitle;Keyword\r\n"));
    EXPECT_FALSE(ended(program));
    EXPECT_FALSE(mainWindowSeen) << "the main window showed";
    EXPECT_FALSE(showsMainWindow(program));
}

TEST_F(ProgramOnX11, CornerGestureAndPasswordStopTheSurveyAndShowTheMainWindow)
{
    const QString path = writeDocument(
        "Count=0\r\n", "Count=1\r\nProcess_1=" + sleeperName().toUtf8() + "\r\nAction_1=3\r\n", "sesame42");
    QProcess& program = startProgram({path});

    const Platform::WindowId prompt = openPromptByCorner(program);
    ASSERT_NE(prompt, 0u) << "the corner gesture opened no prompt: "
                          << windowTitlesOf(program).join(u'|').toStdString();
    EXPECT_FALSE(showsMainWindow(program));
    ASSERT_TRUE(waitUntil([&] { return m_platform->windows().foregroundWindow() == prompt; }))
        << "the prompt did not take the focus";

    typeText(QStringLiteral("sesame4"));
    typeKey(KeysymReturn);
    ASSERT_TRUE(waitUntil([&] { return windowOf(program, PromptTitle) == prompt; }));
    EXPECT_FALSE(showsMainWindow(program)) << "a wrong password opened the main window";

    // The field keeps what was typed: one more character makes it right.
    typeText(QStringLiteral("2"));
    typeKey(KeysymReturn);
    ASSERT_TRUE(waitUntil([&] { return showsMainWindow(program); }))
        << "no main window after the password: " << windowTitlesOf(program).join(u'|').toStdString();
    EXPECT_TRUE(waitUntil([&] { return windowOf(program, PromptTitle) == 0; })) << "the prompt stayed";

    // The survey stopped: a blocked program now stays.
    QProcess* sleeper = m_server.startClient(m_sleeper.path(), {QStringLiteral("600")});
    ASSERT_TRUE(sleeper);
    EXPECT_FALSE(sleeper->waitForFinished(3000)) << "the survey still terminates blocked processes";

    // Closing the main window ends the program: nothing changed, nothing asked.
    const Platform::WindowId mainWindow = windowOf(program, MainTitle);
    ASSERT_TRUE(m_platform->windows().postCloseRequest(mainWindow));
    ASSERT_TRUE(program.waitForFinished(30000)) << "closing the main window did not end the program";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramOnX11, InteractiveStartShowsTheMainWindowAfterTheSplashAndASecondStartEndsAtOnce)
{
    QProcess& first = startProgram({});
    bool splashSeen = false;
    bool splashBeforeMain = false;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QStringList titles = windowTitlesOf(first);
            if (titles.contains(QStringLiteral("Tollgate")) && !titles.contains(MainTitle))
                splashBeforeMain = true;
            splashSeen = splashSeen || titles.contains(QStringLiteral("Tollgate"));
            return titles.contains(MainTitle);
        },
        std::chrono::seconds(90)))
        << "no main window: " << windowTitlesOf(first).join(u'|').toStdString();
    EXPECT_TRUE(splashSeen && splashBeforeMain) << "no splash before the main window";
    EXPECT_TRUE(waitUntil([&] { return !windowTitlesOf(first).contains(QStringLiteral("Tollgate")); }))
        << "the splash did not close by itself";

    for (const QStringList& arguments :
        {QStringList {}, QStringList {Sandbox::folder() + QStringLiteral("/x")}}) {
        QProcess& second = startProgram(arguments);
        ASSERT_TRUE(second.waitForFinished(30000)) << "the second instance did not end";
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
        EXPECT_TRUE(second.readAllStandardError().isEmpty());
    }
    EXPECT_FALSE(ended(first));
    EXPECT_EQ(windowTitlesOf(first), QStringList {MainTitle});
}

TEST_F(ProgramOnX11, AnUnreadableDocumentStartsTheSurveyAndWarnsOnce)
{
    const QString path = Sandbox::folder() + QStringLiteral("/missing rules.Tollgate");
    QProcess& program = startProgram({path});
    QByteArray errors;
    ASSERT_TRUE(waitUntil(
        [&] {
            program.waitForReadyRead(50);
            errors += program.readAllStandardError();
            return errors.contains('\n');
        },
        std::chrono::seconds(90)));
    EXPECT_EQ(errors.count('\n'), 1);
    EXPECT_TRUE(errors.contains(path.toUtf8())) << errors.toStdString();

    // It runs unattended all the same: the password (empty) brings the main window.
    const Platform::WindowId prompt = openPromptByCorner(program);
    ASSERT_NE(prompt, 0u);
    EXPECT_FALSE(showsMainWindow(program));
    ASSERT_TRUE(waitUntil([&] { return m_platform->windows().foregroundWindow() == prompt; }));
    typeKey(KeysymReturn);
    EXPECT_TRUE(waitUntil([&] { return showsMainWindow(program); }));
    program.waitForReadyRead(500);
    errors += program.readAllStandardError();
    EXPECT_EQ(errors.count('\n'), 1) << errors.toStdString();
}

TEST_F(ProgramOnX11, ABlockEverythingRuleClosesOtherWindowsButNeverThePasswordPrompt)
{
    const QString path = writeDocument("Count=1\r\nCaption_1=*\r\nAction_1=1\r\n", "Count=0\r\n", "pw");
    QProcess& program = startProgram({path});
    QProcess* other = m_server.startClient(QStringLiteral("xmessage"), {QStringLiteral("anything")});
    ASSERT_TRUE(other);
    ASSERT_TRUE(waitUntil([&] { return ended(*other); }, std::chrono::seconds(90)))
        << "the rule did not close another program's window";

    // The prompt takes the focus and stays, however often the survey looks at it.
    const Platform::WindowId prompt = openPromptByCorner(program);
    ASSERT_NE(prompt, 0u) << windowTitlesOf(program).join(u'|').toStdString();
    ASSERT_TRUE(waitUntil([&] { return m_platform->windows().foregroundWindow() == prompt; }));
    typeText(QStringLiteral("pw"));
    typeKey(KeysymReturn);
    EXPECT_TRUE(waitUntil([&] { return showsMainWindow(program); }))
        << "locked out: " << windowTitlesOf(program).join(u'|').toStdString();
    EXPECT_FALSE(logText().contains(PromptTitle.toUtf8())) << logText().toStdString();
}

TEST_F(ProgramOnX11, WhenTheDisplayDiesTheProgramExitsWithAReasonInsteadOfCrashingOrSpinning)
{
    const QString path = writeDocument(
        "Count=0\r\n", "Count=1\r\nProcess_1=" + sleeperName().toUtf8() + "\r\nAction_1=3\r\n", "pw");
    QProcess& program = startProgram({path});
    // Enforcing: a blocked process is ended.
    QProcess* sleeper = m_server.startClient(m_sleeper.path(), {QStringLiteral("600")});
    ASSERT_TRUE(sleeper);
    ASSERT_TRUE(waitUntil([&] { return ended(*sleeper); }, std::chrono::seconds(90)));

    m_server.killServer();
    ASSERT_TRUE(program.waitForFinished(60000)) << "the program kept running without its display";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "the program crashed";
    EXPECT_NE(program.exitCode(), 0);
    const QByteArray errors = program.readAllStandardError();
    std::printf("exit code %d, said: %s\n", program.exitCode(), errors.constData());
    // Qt's own line names the lost connection; the exit status tells the service manager.
    EXPECT_TRUE(errors.contains("X11 connection broke") || errors.contains("X server"))
        << errors.toStdString();
}
