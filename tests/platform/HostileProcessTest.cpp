// The process survey against processes that make life hard: odd names, processes that
// vanish between listing and killing, pid numbers handed out again at once.
#include "common/RecordingNotifier.h"
#include "common/FakeClock.h"
#include "common/TestEnvironment.h"
#include "platform/Platform.h"
#include "platform/fake/FakeDesktopShell.h"
#include "platform/fake/FakeInputDevices.h"
#include "platform/fake/FakeWindowSystem.h"
#include "platform/linux/ProcFields.h"
#include "platform/linux/ProcProcessTable.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/SurveyCycle.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tollgate;
using namespace Tollgate::Platform;

namespace {

// The real process table, with a hook that runs between the listing and each kill.
class RacingTable : public ProcessTable
{
public:
    ProcProcessTable real;
    std::function<void(ProcessId)> beforeTerminate;

    QList<ProcessEntry> snapshot() override { return real.snapshot(); }
    TerminateResult terminate(ProcessId pid) override
    {
        if (beforeTerminate)
            beforeTerminate(pid);
        return real.terminate(pid);
    }
    ProcessId start(const QString& commandLine) override { return real.start(commandLine); }
    QList<CapabilityStatus> capabilities() override { return real.capabilities(); }
};

class HostileProcesses : public testing::Test
{
protected:
    RuleSet rules;
    RacingTable* table = nullptr;
    std::unique_ptr<Platform::Platform> platform;
    Tollgate::Test::RecordingNotifier notifier;
    FakeClock clock;
    QTemporaryDir folder {Sandbox::folder() + QStringLiteral("/hostile-XXXXXX")};
    ActivityLog log {folder.filePath(QStringLiteral("Tollgate.log")), clock, QLocale(QLocale::German)};
    std::unique_ptr<SurveyCycle> cycle;
    std::vector<pid_t> children;
    QList<QByteArray> programs;

    void SetUp() override
    {
        auto racing = std::make_unique<RacingTable>();
        table = racing.get();
        platform = std::make_unique<Platform::Platform>(QStringLiteral("test"),
            std::make_unique<FakeWindowSystem>(), std::make_unique<FakeInputDevices>(), std::move(racing),
            std::make_unique<FakeDesktopShell>());
        cycle = std::make_unique<SurveyCycle>(rules, *platform, notifier, log, clock);
        cycle->run();
    }
    void TearDown() override
    {
        for (const pid_t pid : children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        // Qt cannot name a file whose name is not UTF-8, so its folder cannot remove it.
        for (const QByteArray& path : programs)
            ::unlink(path.constData());
    }

    // A copy of sleep under the given file name (raw bytes), started and left running.
    pid_t startAs(const QByteArray& name)
    {
        // Byte for byte: a name that is not UTF-8 has no QString.
        const QByteArray path = QFile::encodeName(folder.path()) + '/' + name;
        std::error_code error;
        std::filesystem::copy_file("/bin/sleep", path.toStdString(), error);
        EXPECT_FALSE(error) << error.message();
        programs.append(path);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(path.constData(), path.constData(), "600", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        children.push_back(pid);
        // Until the exec is done the child still bears the test's name.
        const QString wanted = QFile::decodeName(name);
        for (int i = 0; i < 500 && table->real.readName(ProcessId(pid)) != wanted; ++i)
            QThread::msleep(10);
        return pid;
    }
    // The exit status once the child ends within a few seconds; -1 if it keeps running.
    int endOf(pid_t pid)
    {
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(children, pid);
                return status;
            }
            cycle->tick();
            QThread::msleep(10);
        }
        return -1;
    }
    QStringList logLines() const
    {
        QFile file(log.LogFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
};

bool killedBySignal(int status)
{
    return status >= 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

TEST_F(HostileProcesses, OddNamesAreEndedByTheirRuleAndWriteOneLogLineEach)
{
    const QByteArray withNewline = "tg-odd\n01.01.01 00:00:00;forged;*";
    const QByteArray withBlanks = " tg odd blank ";
    const QByteArray notUtf8 = "tg-odd-\xff\xfe-bytes";
    rules.processRules().resetRows({{QFile::decodeName(withNewline), QStringLiteral("(3) Block")},
        {QFile::decodeName(withBlanks), QStringLiteral("(3) Block")}});
    const pid_t a = startAs(withNewline);
    const pid_t b = startAs(withBlanks);
    const pid_t c = startAs(notUtf8);

    EXPECT_TRUE(killedBySignal(endOf(a)));
    EXPECT_TRUE(killedBySignal(endOf(b)));
    cycle->tick();
    int status = 0;
    EXPECT_EQ(::waitpid(c, &status, WNOHANG), 0) << "a process no rule names was ended";

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1 + notifier.blockMessages);
    for (const QString& line : lines.sliced(1))
        EXPECT_FALSE(line.startsWith(QStringLiteral("01.01.01"))) << "a forged line: " << line.toStdString();
}

TEST_F(HostileProcesses, AProcessGoneBeforeItsKillIsNeitherToldNorLogged)
{
    rules.processRules().resetRows({{QStringLiteral("tg-vanishing"), QStringLiteral("(3) Block")}});
    const pid_t pid = startAs("tg-vanishing");
    table->beforeTerminate = [&](ProcessId target) {
        if (target == ProcessId(pid)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            std::erase(children, pid);
        }
    };
    for (int i = 0; i < 5; ++i)
        cycle->tick();
    EXPECT_EQ(notifier.blockMessages, 0);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(HostileProcesses, APidHandedOutAgainAtOnceIsReadAfresh)
{
    QFile lastPid(QStringLiteral("/proc/sys/kernel/ns_last_pid"));
    if (::geteuid() != 0 || !lastPid.open(QIODevice::WriteOnly))
        GTEST_SKIP() << "needs root and a writable /proc/sys/kernel/ns_last_pid to hand a pid out again";
    rules.processRules().resetRows({{QStringLiteral("tg-reused-game"), QStringLiteral("(3) Block")}});
    // A settled innocent process: known to the table long enough that its name is cached.
    const pid_t innocent = startAs("tg-reused-innocent");
    cycle->tick();
    QThread::msleep(ProcProcessTable::YoungMilliseconds + 200);
    // Numbers were handed out after it, as on any machine that runs something (the number
    // can only come round again with nothing born in between through ns_last_pid, which
    // needs root; the rolling re-check catches that case).
    if (const pid_t later = ::fork(); later == 0)
        ::_exit(0);
    else if (later > 0)
        ::waitpid(later, nullptr, 0);
    cycle->tick();

    // It ends, and a blocked program gets its number before the next tick.
    ::kill(innocent, SIGKILL);
    ::waitpid(innocent, nullptr, 0);
    std::erase(children, innocent);
    QFile::copy(QStringLiteral("/bin/sleep"), folder.filePath(QStringLiteral("tg-reused-game")));
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("tg-reused-game")));
    lastPid.write(QByteArray::number(innocent - 1));
    lastPid.close();
    const pid_t game = ::fork();
    if (game == 0) {
        ::execl(path.constData(), path.constData(), "600", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    children.push_back(game);
    if (game != innocent)
        GTEST_SKIP() << "another process took the number first";
    for (int i = 0; i < 500 && table->real.readName(ProcessId(game)) != u"tg-reused-game"; ++i)
        QThread::msleep(10);

    cycle->tick();
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(game, &status, WNOHANG) == 0; ++i)
        QThread::msleep(10);
    EXPECT_TRUE(killedBySignal(status)) << "the blocked program kept the innocent one's cached name";
}

TEST(ProcFieldsTaskCounters, TotalAndLastPidOrNothing)
{
    const auto counters = ProcFields::taskCounters("0.42 0.35 0.30 2/431 12345\n");
    EXPECT_EQ(counters.total, 431);
    EXPECT_EQ(counters.lastPid, 12345u);
    for (const char* bad : {"", "0.42 0.35 0.30 2/431", "0.42 0.35 0.30 2431 12345",
             "0.42 0.35 0.30 2/x 12345", "0.42 0.35 0.30 2/431 99999999999"})
        EXPECT_EQ(ProcFields::taskCounters(bad).total, -1) << bad;
}
