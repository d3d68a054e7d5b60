// The process survey against processes that make life hard: odd names, processes that
// vanish between listing and killing, pid numbers handed out again at once.
#include "Forked.h"
#include "common/ChildProcesses.h"
#include "common/FakeClock.h"
#include "common/NamedProgram.h"
#include "common/RecordingNotifier.h"
#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"
#include "platform/Platform.h"
#include "platform/fake/FakeDesktopShell.h"
#include "platform/fake/FakeInputDevices.h"
#include "platform/fake/FakeWindowSystem.h"
#include "platform/linux/ProcProcessTable.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/SurveyCycle.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>

using namespace Tollgate;
using namespace Tollgate::Platform;
using Tollgate::Test::ChildProcesses;
using Tollgate::Test::Forked;
using Tollgate::Test::NamedProgram;
using Tollgate::Test::waitUntil;

namespace {

// The real process table, with a hook that runs between the listing and each kill.
struct RacingTable : ProcProcessTable
{
    std::function<void(ProcessId)> beforeTerminate;

    TerminateResult terminate(ProcessId pid) override
    {
        if (beforeTerminate)
            beforeTerminate(pid);
        return ProcProcessTable::terminate(pid);
    }
};

// The survey over the real process table, the rest of the desktop fake.
class HostileProcesses : public testing::Test
{
protected:
    HostileProcesses() { cycle.run(); }
    ~HostileProcesses() override
    {
        // Qt cannot name a file whose name is not UTF-8, so its folder cannot remove it.
        std::filesystem::remove_all(QFile::encodeName(folder.path()).toStdString());
    }

    // A copy of sleep under a name of raw bytes (not every one has a QString), made and
    // run by a shell that the copy then replaces.
    QProcess* startAs(const QByteArray& name)
    {
        QString octal;
        for (const char byte : name)
            octal += QStringLiteral("\\%1").arg(uchar(byte), 3, 8, QLatin1Char('0'));
        QProcess* child = children.start(str("/bin/sh"),
            {str("-c"), str("f=\"$1/$(printf \"$0\")\"; cp /bin/sleep \"$f\" && exec \"$f\" 600"), octal,
                folder.path()});
        EXPECT_TRUE(child && waitUntil([&] {
            return table.readName(ProcessId(child->processId())) == QFile::decodeName(name);
        }));
        return child;
    }
    bool endsKilled(QProcess* child)
    {
        return waitUntil([&] {
            cycle.tick();
            return ChildProcesses::exited(child);
        }) && child->exitStatus() == QProcess::CrashExit;
    }
    QStringList logLines() const
    {
        return QString::fromUtf8(Sandbox::readFile(log.LogFilePath())).split(str("\r\n"), Qt::SkipEmptyParts);
    }

    RuleSet rules;
    std::unique_ptr<RacingTable> owned = std::make_unique<RacingTable>();
    RacingTable& table = *owned;
    Platform::Platform platform {str("test"), std::make_unique<FakeWindowSystem>(),
        std::make_unique<FakeInputDevices>(), std::move(owned), std::make_unique<FakeDesktopShell>()};
    Tollgate::Test::RecordingNotifier notifier;
    FakeClock clock;
    QTemporaryDir folder {Sandbox::folder() + str("/hostile-XXXXXX")};
    ActivityLog log {folder.filePath(str("Tollgate.log")), clock, QLocale(QLocale::German)};
    SurveyCycle cycle {rules, platform, notifier, log, clock};
    ChildProcesses children;
};

} // namespace

TEST_F(HostileProcesses, OddNamesAreEndedByTheirRuleAndWriteOneLogLineEach)
{
    const QByteArray withNewline = "tg-odd\n01.01.01 00:00:00;forged;*";
    const QByteArray withBlanks = " tg odd blank ";
    rules.processRules().resetRows({{QFile::decodeName(withNewline), str("(3) Block")},
        {QFile::decodeName(withBlanks), str("(3) Block")}});
    QProcess* a = startAs(withNewline);
    QProcess* b = startAs(withBlanks);
    QProcess* notUtf8 = startAs("tg-odd-\xff\xfe-bytes");
    ASSERT_TRUE(a && b && notUtf8);

    EXPECT_TRUE(endsKilled(a));
    EXPECT_TRUE(endsKilled(b));
    cycle.tick();
    EXPECT_FALSE(ChildProcesses::exited(notUtf8)) << "a process no rule names was ended";

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1 + notifier.blockMessages);
    for (const QString& line : lines.sliced(1))
        EXPECT_FALSE(line.startsWith(str("01.01.01"))) << "a forged line: " << line.toStdString();
}

TEST_F(HostileProcesses, AProcessGoneBeforeItsKillIsNeitherToldNorLogged)
{
    rules.processRules().resetRows({{str("tg-vanishing"), str("(3) Block")}});
    QProcess* vanishing = startAs("tg-vanishing");
    ASSERT_NE(vanishing, nullptr);
    const auto pid = ProcessId(vanishing->processId());
    table.beforeTerminate = [&](ProcessId target) {
        if (target == pid)
            children.kill(vanishing);
    };
    for (int i = 0; i < 5; ++i)
        cycle.tick();
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(HostileProcesses, APidHandedOutAgainAtOnceIsReadAfresh)
{
    QFile lastPid(str("/proc/sys/kernel/ns_last_pid"));
    if (::geteuid() != 0 || !lastPid.open(QIODevice::WriteOnly))
        GTEST_SKIP() << "needs root and a writable /proc/sys/kernel/ns_last_pid to hand a pid out again";
    const NamedProgram innocentProgram(str("tg-innocent")), gameProgram(str("tg-game"));
    ASSERT_TRUE(innocentProgram.ready() && gameProgram.ready());
    const auto runAs = [this](const NamedProgram& program) {
        const QByteArray path = QFile::encodeName(program.path());
        auto child = std::make_unique<Forked>(
            [&path] { ::execl(path.constData(), path.constData(), "600", nullptr); });
        EXPECT_TRUE(waitUntil([&] { return table.readName(ProcessId(child->pid())) == program.name(); }));
        return child;
    };
    rules.processRules().resetRows({{gameProgram.name(), str("(3) Block")}});
    // A settled innocent process: known to the table long enough that its name is cached.
    auto innocent = runAs(innocentProgram);
    cycle.tick();
    QThread::msleep(ProcProcessTable::YoungMilliseconds + 200);
    // Numbers were handed out after it, as on any machine that runs something; the number
    // comes round again with nothing born in between only through ns_last_pid.
    Forked([] {}).reap();
    cycle.tick();

    // It ends, and a blocked program gets its number before the next tick.
    const pid_t reused = innocent->pid();
    innocent.reset();
    lastPid.write(QByteArray::number(reused - 1));
    lastPid.close();
    const auto game = runAs(gameProgram);
    if (game->pid() != reused)
        GTEST_SKIP() << "another process took the number first";

    cycle.tick();
    EXPECT_TRUE(waitUntil([&] { return game->ended(); }));
    const int status = game->reap();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the blocked program kept the innocent one's cached name";
}
