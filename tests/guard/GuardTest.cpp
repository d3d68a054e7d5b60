// The real guard as root, enforcing on nobody: programs denied before they run, the
// document followed as it changes, the fallback that ends programs at exec, the session
// program kept running, and the exec listener that can never stall the machine.
#include "XServer.h"
#include "common/ChildProcesses.h"
#include "common/DocumentBuilder.h"
#include "common/WaitUntil.h"
#include "platform/linux/Accounts.h"
#include "platform/linux/ExecGate.h"
#include "platform/linux/ProgramFiles.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowSystem.h"
#include "profile/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <latch>
#include <unistd.h>

using namespace Tollgate;
using namespace std::chrono_literals;

namespace {

const QString BinDir = QStringLiteral(TOLLGATE_BIN_DIR);

class GuardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the guard needs root, and these tests run the real one";
        if (!Platform::Accounts::byName(QStringLiteral("nobody")))
            GTEST_SKIP() << "there is no account nobody to enforce on";
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            GTEST_SKIP() << "setpriv is not installed";
        // In /tmp rather than the sandbox, whose folders nobody cannot pass.
        ASSERT_TRUE(m_dir.isValid());
        QFile::setPermissions(
            m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ExeOther | QFile::ReadOther);
        ASSERT_TRUE(QFile::copy(BinDir + QStringLiteral("/tollgate_test_mark"), path("tg-game")));
        ASSERT_TRUE(QFile::copy(path("tg-game"), path("homework")));
        // Another program: the same with a byte more at its end, which changes nothing else.
        ASSERT_TRUE(QFile::copy(path("tg-game"), path("tg-other")));
        QFile other(path("tg-other"));
        ASSERT_TRUE(other.open(QIODevice::Append) && other.write("x") == 1);
        // Marks go where nobody may write; the rest only root may change.
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("marks")));
        QFile::setPermissions(path("marks"), QFileDevice::Permissions(0x7777));
        writeDocument("tg-game");
    }

    void TearDown() override
    {
        // Ended as systemd ends it, so that its end runs too.
        if (m_guard && m_guard->state() == QProcess::Running) {
            m_guard->terminate();
            EXPECT_TRUE(m_guard->waitForFinished(10000));
        }
    }

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    // Replaced by rename, as configuration tools write, or rewritten in place.
    void writeDocument(const char* blocked, bool byRename = true)
    {
        const QByteArray bytes = Tollgate::Test::DocumentBuilder()
                                     .process(QLatin1String(blocked), QStringLiteral("(3) Block"))
                                     .bytes();
        QFile file(path("lab.Tollgate"));
        ASSERT_TRUE(byRename
                ? Tollgate::TextFile::writeAtomically(file.fileName(), bytes).isEmpty()
                : file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    }
    void startGuard(const QStringList& options = {}, const QString& sessions = QString())
    {
        QFile config(path("guard.conf"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[Guard]\nDocument=" + path("lab.Tollgate").toUtf8()
            + "   ; the lab's rules\n"
              "Accounts=nobody\nSessions="
            + sessions.toUtf8() + "\n");
        config.close();
        m_guard = m_children.start(BinDir + QStringLiteral("/tollgate-guard"),
            QStringList {QStringLiteral("--config"), path("guard.conf")} + options,
            QProcessEnvironment::systemEnvironment(), Tollgate::Test::ChildProcesses::Output::Captured);
        ASSERT_TRUE(m_guard);
        ASSERT_TRUE(logShows(QStringLiteral("rules loaded"))) << m_log.toStdString();
    }
    bool logShows(const QString& text, int after = 0)
    {
        return Tollgate::Test::waitProcessingEvents(
            [&] {
                m_log += QString::fromUtf8(m_guard->readAllStandardError());
                m_guard->readAllStandardOutput();
                return m_log.indexOf(text, after) >= 0;
            },
            15s);
    }
    // Runs a command as nobody (or as root) and returns its exit code; -1 when a signal ended it.
    int run(const QStringList& command, bool asNobody = true)
    {
        QProcess process;
        const QStringList nobody {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
            QStringLiteral("--clear-groups"), QStringLiteral("--")};
        process.setWorkingDirectory(m_dir.path());
        process.start(asNobody ? QStringLiteral("setpriv") : command.first(),
            asNobody ? nobody + command : command.mid(1));
        if (!process.waitForFinished(60000))
            process.kill();
        return process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode();
    }
    bool marked() { return QFile::remove(path("marks/mark")); }

    QTemporaryDir m_dir {QStringLiteral("/tmp/tollgate-guard-test-XXXXXX")};
    Tollgate::Test::ChildProcesses m_children;
    QProcess* m_guard = nullptr;
    QString m_log;
};

TEST_F(GuardTest, DeniesBlockedProgramsBeforeTheyRunForManagedAccountsOnly)
{
    QString why;
    if (!Platform::ExecGate::available(why))
        GTEST_SKIP() << "execs cannot be made to wait here: " << why.toStdString();
    startGuard();
    ASSERT_TRUE(m_log.contains(QStringLiteral("enforcing: deny:"))) << m_log.toStdString();
    const struct
    {
        QStringList command;
        bool asNobody;
        bool runs;
    } cases[] = {
        {{path("tg-game"), path("marks/mark")}, true, false},
        {{path("homework"), path("marks/mark")}, true, false}, // a renamed copy
        {{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exec ./tg-game marks/mark")}, true,
            false},
        {{path("tg-other"), path("marks/mark")}, true, true},
        {{path("tg-game"), path("marks/mark")}, false, true}, // root is never managed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.join(u' ').toStdString());
        const int code = run(c.command, c.asNobody);
        EXPECT_EQ(marked(), c.runs);
        EXPECT_EQ(code == 0, c.runs);
    }
    EXPECT_TRUE(logShows(QStringLiteral("denied %1 of nobody").arg(path("homework")))) << m_log.toStdString();
    EXPECT_TRUE(m_log.contains(QStringLiteral("Block rule tg-game, a copy of it")));

    // The dynamic loader run directly names the program in its arguments: ended.
    const QStringList loaders = QDir(QStringLiteral("/lib64")).entryList({QStringLiteral("ld-linux*.so*")});
    if (!loaders.isEmpty()) {
        EXPECT_EQ(run({QStringLiteral("/lib64/") + loaders.first(), path("tg-game"), path("marks/mark"),
                      QStringLiteral("60")}),
            -1);
        EXPECT_TRUE(logShows(QStringLiteral("ended %1 of nobody").arg(path("tg-game"))))
            << m_log.toStdString();
    }

    // The managed account can neither signal the guard nor change its rules.
    EXPECT_NE(
        run({QStringLiteral("kill"), QStringLiteral("-KILL"), QString::number(m_guard->processId())}), 0);
    EXPECT_NE(
        run({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo > ") + path("lab.Tollgate")}),
        0);
    EXPECT_EQ(m_guard->state(), QProcess::Running);
}

// Without permission events (here turned off) blocked programs are ended as they start.
TEST_F(GuardTest, EndsBlockedProgramsAtExecAndFollowsTheDocumentKeepingTheLastGoodRules)
{
    startGuard({QStringLiteral("--end-at-exec")});
    EXPECT_TRUE(m_log.contains(QStringLiteral("enforcing: end:")));
    // It would stay a minute; ended by the guard, it is gone at once.
    EXPECT_EQ(run({path("tg-game"), path("marks/mark"), QStringLiteral("60")}), -1);
    EXPECT_TRUE(logShows(QStringLiteral("ended %1 of nobody").arg(path("tg-game")))) << m_log.toStdString();

    writeDocument("tg-other");
    ASSERT_TRUE(logShows(QStringLiteral("(tg-other)"))) << m_log.toStdString();
    EXPECT_EQ(run({path("tg-other"), path("marks/mark"), QStringLiteral("60")}), -1);
    EXPECT_EQ(run({path("tg-game"), path("marks/mark")}), 0);

    const int before = int(m_log.size());
    writeDocument("tg-game", false); // edited in place
    ASSERT_TRUE(logShows(QStringLiteral("(tg-game)"), before)) << m_log.toStdString();

    ASSERT_TRUE(
        QFile::remove(path("lab.Tollgate")) && QDir(m_dir.path()).mkdir(QStringLiteral("lab.Tollgate")));
    ASSERT_TRUE(logShows(QStringLiteral("not read (not a file); the last good rules stay")))
        << m_log.toStdString();
    EXPECT_EQ(run({path("tg-game"), path("marks/mark"), QStringLiteral("60")}), -1);
}

TEST_F(GuardTest, KeepsTheSessionProgramRunning)
{
    if (const QString why = Tollgate::Test::XServer::unavailableReason(false); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    Tollgate::Test::XServer display;
    ASSERT_TRUE(display.start(false));
    startGuard({QStringLiteral("--end-at-exec")}, QStringLiteral("nobody ") + display.display());
    const QString program = QFileInfo(BinDir + QStringLiteral("/tollgate")).canonicalFilePath();
    const auto sessionProgram = [&] {
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const Platform::ProcessId pid = entry.toUInt();
            if (pid && QFile::decodeName(Platform::ProcessFacts::link(pid, "exe")) == program
                && Platform::ProcessFacts::realUid(pid)
                    == Platform::Accounts::byName(QStringLiteral("nobody"))->uid)
                return pid;
        }
        return Platform::ProcessId(0);
    };
    Platform::ProcessId first = 0;
    ASSERT_TRUE(Tollgate::Test::waitUntil([&] { return (first = sessionProgram()) != 0; }))
        << m_log.toStdString();
    // Its own account ends it; the guard starts it again and says what ended it.
    EXPECT_EQ(run({QStringLiteral("kill"), QStringLiteral("-KILL"), QString::number(first)}), 0);
    Platform::ProcessId second = 0;
    EXPECT_TRUE(
        Tollgate::Test::waitUntil([&] { return (second = sessionProgram()) != 0 && second != first; }, 15s));
    EXPECT_TRUE(logShows(QStringLiteral("was ended by signal 9"))) << m_log.toStdString();

    // A program the guard ends is shown to the account by its session's program.
    EXPECT_EQ(run({path("tg-game"), path("marks/mark"), QStringLiteral("60")}), -1);
    Platform::X11WindowSystem windows(Platform::X11Connection::open(display.display().toUtf8(), nullptr));
    EXPECT_TRUE(Tollgate::Test::waitUntil([&] {
        const QList<Platform::TopLevelWindow> all = windows.topLevelWindows();
        return std::any_of(all.cbegin(), all.cend(), [&](const Platform::TopLevelWindow& window) {
            return windows.windowTitle(window.window) == u"Tollgate Message";
        });
    })) << m_log.toStdString();
}

TEST_F(GuardTest, AStalledDecisionNeverStallsTheMachine)
{
    std::latch release(1);
    const QString stalled = QFileInfo(path("tg-game")).canonicalFilePath();
    Platform::ExecGate gate([](uint) { return true; },
        [&](const Platform::ExecGate::Request& request) {
            if (request.file.path == stalled)
                release.wait();
            return true;
        });
    QString why;
    if (!gate.start(why))
        GTEST_SKIP() << "execs cannot be made to wait here: " << why.toStdString();
    // The decision about the first never comes; it and the execs behind it run all the same.
    EXPECT_EQ(run({path("tg-game"), path("marks/mark")}, false), 0);
    EXPECT_EQ(run({path("tg-other"), path("marks/mark")}, false), 0);
    EXPECT_GE(gate.allowedByWatchdog(), 2u);
    release.count_down();
    gate.stop();
}

} // namespace
