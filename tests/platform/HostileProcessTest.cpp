// The process survey against processes that make life hard: odd names, processes that
// vanish between listing and killing, pid numbers handed out again at once.
#include "Forked.h"
#include "common/FakeClock.h"
#include "common/NamedProgram.h"
#include "common/RecordingNotifier.h"
#include "common/WaitUntil.h"
#include "platform/Platform.h"
#include "platform/fake/FakeDesktopShell.h"
#include "platform/fake/FakeInputDevices.h"
#include "platform/fake/FakeWindowSystem.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/SurveyCycle.h"

#include <QLocale>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>

using namespace Tollgate;
using namespace Tollgate::Platform;
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

    // Runs the program file at path (raw bytes: not every name has a QString) once the
    // table reads its name.
    std::unique_ptr<Forked> run(const QByteArray& path)
    {
        auto child = std::make_unique<Forked>(
            [path] { ::execl(path.constData(), path.constData(), "600", nullptr); });
        const QString name = QFile::decodeName(path.sliced(path.lastIndexOf('/') + 1));
        EXPECT_TRUE(waitUntil([&] { return table.readName(ProcessId(child->pid())) == name; }));
        return child;
    }
    std::unique_ptr<Forked> run(const NamedProgram& program)
    {
        EXPECT_TRUE(program.ready());
        return run(QFile::encodeName(program.path()));
    }
    bool endsKilled(Forked& child)
    {
        return waitUntil([&] {
            cycle.tick();
            return child.ended();
        }) && WTERMSIG(child.reap()) == SIGKILL;
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
    ActivityLog log {Sandbox::folder() + str("/Tollgate.log"), clock, QLocale(QLocale::German)};
    SurveyCycle cycle {rules, platform, notifier, log, clock};
};

} // namespace

TEST_F(HostileProcesses, OddNamesAreEndedByTheirRuleAndWriteOneLogLineEach)
{
    const NamedProgram withNewline(str("tg-odd\n01.01.01 00:00:00;forged;*")),
        withBlanks(str(" tg odd blank "));
    rules.processRules().resetRows(
        {{withNewline.name(), str("(3) Block")}, {withBlanks.name(), str("(3) Block")}});
    const auto a = run(withNewline), b = run(withBlanks);
    // Qt cannot name a file whose name is not UTF-8, so the sandbox could not remove it:
    // it goes once it runs.
    const QByteArray notUtf8Path = QFile::encodeName(Sandbox::folder()) + "/tg-odd-\xff\xfe-bytes";
    std::filesystem::copy_file("/bin/sleep", notUtf8Path.toStdString());
    const auto notUtf8 = run(notUtf8Path);
    std::filesystem::remove(notUtf8Path.toStdString());

    EXPECT_TRUE(endsKilled(*a));
    EXPECT_TRUE(endsKilled(*b));
    cycle.tick();
    EXPECT_FALSE(notUtf8->ended()) << "a process no rule names was ended";

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1 + notifier.blockMessages);
    for (const QString& line : lines.sliced(1))
        EXPECT_FALSE(line.startsWith(str("01.01.01"))) << "a forged line: " << line.toStdString();
}

TEST_F(HostileProcesses, AProcessGoneBeforeItsKillIsNeitherToldNorLogged)
{
    const NamedProgram program(str("tg-vanishing"));
    rules.processRules().resetRows({{program.name(), str("(3) Block")}});
    auto vanishing = run(program);
    const auto pid = ProcessId(vanishing->pid());
    table.beforeTerminate = [&](ProcessId target) {
        if (target == pid)
            vanishing.reset();
    };
    for (int i = 0; i < 5; ++i)
        cycle.tick();
    EXPECT_EQ(vanishing, nullptr) << "the survey never tried to end it";
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(HostileProcesses, APidHandedOutAgainAtOnceIsReadAfresh)
{
    QFile lastPid(str("/proc/sys/kernel/ns_last_pid"));
    if (::geteuid() != 0 || !lastPid.open(QIODevice::WriteOnly))
        GTEST_SKIP() << "needs root and a writable /proc/sys/kernel/ns_last_pid to hand a pid out again";
    const NamedProgram innocentProgram(str("tg-innocent")), gameProgram(str("tg-game"));
    rules.processRules().resetRows({{gameProgram.name(), str("(3) Block")}});
    // A settled innocent process: known to the table long enough that its name is cached.
    auto innocent = run(innocentProgram);
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
    const auto game = run(gameProgram);
    if (game->pid() != reused)
        GTEST_SKIP() << "another process took the number first";

    cycle.tick();
    EXPECT_TRUE(waitUntil([&] { return game->ended(); }) && WTERMSIG(game->reap()) == SIGKILL)
        << "the blocked program kept the innocent one's cached name";
}
