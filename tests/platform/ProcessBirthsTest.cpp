// How ProcProcessTable learns of new and ended processes without listing /proc: against a
// made-up /proc whose counts the test controls, and against the real one with both ways
// of watching births.
#include "common/TestEnvironment.h"
#include "platform/linux/ProcProcessTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tollgate::Platform;

namespace {

// A /proc of files: loadavg with the task count and last pid, and a folder per task.
class MadeUpProc
{
public:
    MadeUpProc()
        : m_root(Tollgate::Sandbox::folder() + QStringLiteral("/proc-%1").arg(++s_count))
    {
        QDir().mkpath(m_root);
    }
    QByteArray root() const { return QFile::encodeName(m_root); }

    void addTask(ProcessId pid, const char* program, ProcessId tgid = 0)
    {
        const QString folder = m_root + u'/' + QString::number(pid);
        QDir().mkpath(folder);
        write(folder + QStringLiteral("/stat"), QByteArray::number(pid) + " (x) S 1 1 1 0 -1 0 0 0");
        write(folder + QStringLiteral("/status"),
            "Name:\tx\nUmask:\t0022\nState:\tS\nTgid:\t" + QByteArray::number(tgid ? tgid : pid) + "\n");
        QFile::link(
            QStringLiteral("/usr/bin/") + QString::fromUtf8(program), folder + QStringLiteral("/exe"));
        ++m_tasks;
        m_lastPid = std::max(m_lastPid, pid);
        writeCounts();
    }
    // The task runs another program (an exec).
    void setProgram(ProcessId pid, const char* program)
    {
        const QString exe = m_root + u'/' + QString::number(pid) + QStringLiteral("/exe");
        QFile::remove(exe);
        QFile::link(QStringLiteral("/usr/bin/") + QString::fromUtf8(program), exe);
    }
    void removeTask(ProcessId pid)
    {
        QDir(m_root + u'/' + QString::number(pid)).removeRecursively();
        --m_tasks;
        writeCounts();
    }
    // A pid handed out to a task that ended before anyone looked.
    void skipPid(ProcessId pid)
    {
        m_lastPid = pid;
        writeCounts();
    }

private:
    static void write(const QString& path, const QByteArray& text)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    void writeCounts()
    {
        write(m_root + QStringLiteral("/loadavg"),
            "0.00 0.01 0.05 1/" + QByteArray::number(m_tasks) + ' ' + QByteArray::number(m_lastPid) + '\n');
    }

    static inline int s_count = 0;
    QString m_root;
    int m_tasks = 0;
    ProcessId m_lastPid = 0;
};

QStringList names(const QList<ProcessEntry>& entries)
{
    QStringList result;
    for (const ProcessEntry& entry : entries)
        result.append(QString::number(entry.pid) + u' ' + entry.name);
    return result;
}

// /proc is listed only when the task count is not what the births and exits explain.
void listOnlyForUnexplainedCounts(ProcProcessTable& table)
{
    table.setListingInterval(std::numeric_limits<qint64>::max());
    table.setUnexplainedListingGap(0);
}

TEST(ProcessBirths, onlyWhatTheCountsLeaveUnexplainedListsProc)
{
    MadeUpProc proc;
    proc.addTask(1, "init");
    proc.addTask(50, "editor");
    ProcProcessTable table(proc.root(), ProcProcessTable::BirthWatch::Polling);
    listOnlyForUnexplainedCounts(table);
    EXPECT_EQ(names(table.snapshot()), QStringList({str("1 init"), str("50 editor")}));
    EXPECT_EQ(table.listings(), 1);

    // A process with a thread, a pid whose task ended unseen, and another process.
    proc.addTask(51, "game");
    proc.addTask(52, "game", 51);
    proc.skipPid(53);
    proc.addTask(54, "browser");
    EXPECT_EQ(names(table.snapshot()),
        QStringList({str("1 init"), str("50 editor"), str("51 game"), str("54 browser")}));
    EXPECT_EQ(names(table.snapshot()).size(), 4);
    const QList<ProcessEntry> unchanged = table.snapshot();
    EXPECT_TRUE(table.snapshot().isSharedWith(unchanged)) << "nothing changed: the same list again";
    // A young process that ends is read again and found gone.
    proc.removeTask(54);
    EXPECT_EQ(names(table.snapshot()), QStringList({str("1 init"), str("50 editor"), str("51 game")}));
    EXPECT_EQ(table.listings(), 1) << "births and a young exit are explained without a listing";

    // A thread seen born that ends explains the count too; an old process that ends
    // shows only in the task count.
    proc.removeTask(52);
    EXPECT_EQ(names(table.snapshot()).size(), 3);
    EXPECT_EQ(table.listings(), 1) << "a busy program's threads come and go without a listing";
    proc.removeTask(50);
    EXPECT_EQ(names(table.snapshot()), QStringList({str("1 init"), str("51 game")}));
    EXPECT_EQ(table.listings(), 2);
    table.snapshot();
    EXPECT_EQ(table.listings(), 2);

    // Pids that wrap round are not examined one by one.
    proc.addTask(7, "shell");
    proc.skipPid(7);
    EXPECT_EQ(names(table.snapshot()), QStringList({str("1 init"), str("7 shell"), str("51 game")}));
    EXPECT_EQ(table.listings(), 3);
}

TEST(ProcessBirths, aListingThatIsDueWaitsForTheNextSnapshotAfterABirth)
{
    MadeUpProc proc;
    for (ProcessId pid = 1; pid <= 3; ++pid)
        proc.addTask(pid, "daemon");
    ProcProcessTable table(proc.root(), ProcProcessTable::BirthWatch::Polling);
    listOnlyForUnexplainedCounts(table);
    EXPECT_EQ(table.snapshot().size(), 3);

    // An old process ends as a new one is born: the birth is answered without a listing.
    proc.removeTask(2);
    proc.addTask(60, "game");
    EXPECT_TRUE(names(table.snapshot()).contains(str("60 game")));
    EXPECT_EQ(table.listings(), 1);
    EXPECT_FALSE(names(table.snapshot()).contains(str("2 daemon")));
    EXPECT_EQ(table.listings(), 2);

    // Births one after the other put a listing off only for a while.
    proc.removeTask(3);
    proc.addTask(61, "game");
    table.snapshot();
    QThread::msleep(ProcProcessTable::ListingPostponeMilliseconds + 10);
    proc.addTask(62, "game");
    EXPECT_EQ(names(table.snapshot()),
        QStringList({str("1 daemon"), str("60 game"), str("61 game"), str("62 game")}));
    EXPECT_EQ(table.listings(), 3);
}

TEST(ProcessBirths, anUnexplainedExitWaitsForItsListingButIsNotForgotten)
{
    // More settled processes than the snapshots below re-read in turn.
    MadeUpProc proc;
    for (ProcessId pid = 1; pid <= 40; ++pid)
        proc.addTask(pid, "daemon");
    ProcProcessTable table(proc.root(), ProcProcessTable::BirthWatch::Polling);
    table.setListingInterval(std::numeric_limits<qint64>::max());
    table.setUnexplainedListingGap(std::numeric_limits<qint64>::max());
    EXPECT_EQ(table.snapshot().size(), 40);

    // An old process ends and a new one is born: the birth is seen at once, the exit
    // waits for the next listing, even though later snapshots see counts that add up.
    proc.removeTask(40);
    proc.addTask(60, "game");
    EXPECT_EQ(table.snapshot().size(), 41);
    EXPECT_EQ(names(table.snapshot()).last(), str("60 game"));
    EXPECT_EQ(table.listings(), 1);

    table.setUnexplainedListingGap(0);
    const QStringList after = names(table.snapshot());
    EXPECT_EQ(after.size(), 40);
    EXPECT_FALSE(after.contains(str("40 daemon")));
    EXPECT_EQ(table.listings(), 2);
}

TEST(ProcessBirths, changesFollowBirthsExecsAndExitsWhicheverWayTheyAreSeen)
{
    MadeUpProc proc;
    proc.addTask(1, "init");
    proc.addTask(50, "editor");
    ProcProcessTable table(proc.root(), ProcProcessTable::BirthWatch::Polling);
    listOnlyForUnexplainedCounts(table);
    const auto changes = [&table] {
        const ProcessChanges changes = table.changes();
        QStringList result = names(changes.started);
        if (changes.complete)
            result.prepend(str("complete"));
        for (const ProcessId pid : changes.ended)
            result.append(u'-' + QString::number(pid));
        return result;
    };
    EXPECT_EQ(changes(), QStringList({str("complete"), str("1 init"), str("50 editor")}));
    EXPECT_TRUE(changes().isEmpty());

    // Births (a thread is none), seen by a snapshot that consumes nothing.
    proc.addTask(51, "game");
    proc.addTask(52, "game", 51);
    proc.addTask(53, "shell");
    EXPECT_EQ(table.snapshot().size(), 4);
    EXPECT_EQ(changes(), QStringList({str("51 game"), str("53 shell")}));

    // A young process runs another program, another ends.
    proc.setProgram(53, "browser");
    proc.removeTask(51);
    EXPECT_EQ(changes(), QStringList({str("53 browser"), str("-51")}));

    // An old process's exit only a listing finds.
    proc.removeTask(52);
    proc.removeTask(50);
    EXPECT_EQ(changes(), QStringList({str("-50")}));
    EXPECT_EQ(names(table.snapshot()), QStringList({str("1 init"), str("53 browser")}));
    EXPECT_TRUE(changes().isEmpty());

    // After a full snapshot the next look reports everything again.
    table.fullSnapshot();
    EXPECT_EQ(changes(), QStringList({str("complete"), str("1 init"), str("53 browser")}));
}

// Opens a file and closes it again, as the dynamic loader opens the C library.
void openAndClose(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
}

void runEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
}

bool eventsUntil(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// A table of a made-up /proc told of program starts by the opens of a file of the test's.
struct StartToldTable
{
    explicit StartToldTable(const MadeUpProc& proc)
        : library(Tollgate::Sandbox::folder() + QStringLiteral("/libc-told.so"))
        , table(proc.root(), ProcProcessTable::BirthWatch::ProgramStarts)
    {
        QFile file(library);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        table.setProgramStartFiles({QFile::encodeName(library)});
        table.setListingInterval(std::numeric_limits<qint64>::max());
        table.setChangeHandler([this] { ++reports; });
    }
    ~StartToldTable() { table.setChangeHandler(nullptr); }

    QString library;
    ProcProcessTable table;
    int reports = 0;
};

TEST(ProgramStarts, anOpenOfTheSharedFileIsAStartAndAReplacedFileIsWatchedAgain)
{
    const QString library = Tollgate::Sandbox::folder() + QStringLiteral("/libc.so.6");
    {
        QFile file(library);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
    }
    int starts = 0;
    ProgramStartWatcher watcher({QFile::encodeName(library)}, [&starts] { ++starts; });
    ASSERT_TRUE(watcher.isValid());
    runEventsFor(20);
    EXPECT_EQ(starts, 0) << "nothing opened it yet";

    // Opens that come before anyone looks are told once.
    openAndClose(library);
    openAndClose(library);
    EXPECT_TRUE(eventsUntil([&] { return starts > 0; }));
    runEventsFor(20);
    EXPECT_EQ(starts, 1);

    // An update puts a new file in its place, as a package manager does.
    {
        QFile file(library + QStringLiteral(".new"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("new");
    }
    ASSERT_EQ(::rename(QFile::encodeName(library + QStringLiteral(".new")).constData(),
                  QFile::encodeName(library).constData()),
        0);
    runEventsFor(20);
    starts = 0;
    openAndClose(library);
    EXPECT_TRUE(eventsUntil([&] { return starts > 0; })) << "the new file is watched too";

    ProgramStartWatcher nothing({QByteArrayLiteral("/nonexistent/libc.so.6")}, [] {});
    EXPECT_FALSE(nothing.isValid());
    EXPECT_FALSE(ProgramStartWatcher::sharedStartFiles().isEmpty()) << "this test runs with a C library";
}

TEST(ProgramStarts, aStartIsReportedWithItsProcessAndNothingPollsMeanwhile)
{
    MadeUpProc proc;
    proc.addTask(1, "init");
    StartToldTable told(proc);
    ASSERT_TRUE(told.table.usesProgramStarts());
    EXPECT_EQ(names(told.table.changes().started), QStringList({str("1 init")}));

    // Born and running before anyone looks: only the open of the library tells.
    proc.addTask(60, "game");
    runEventsFor(30);
    EXPECT_EQ(told.reports, 0) << "births are not polled while program starts are told";
    openAndClose(told.library);
    EXPECT_TRUE(eventsUntil([&] { return told.reports > 0; }));
    EXPECT_EQ(names(told.table.changes().started), QStringList({str("60 game")}));

    const auto howBirthsAreSeen = [](ProcProcessTable& table) {
        for (const CapabilityStatus& status : table.capabilities()) {
            if (status.capability == Capability::ProcessEvents)
                return status.detail;
        }
        return QString();
    };
    EXPECT_TRUE(howBirthsAreSeen(told.table).contains(told.library))
        << qPrintable(howBirthsAreSeen(told.table));

    // Where no file can be watched, births are polled instead.
    ProcProcessTable polled(proc.root(), ProcProcessTable::BirthWatch::ProgramStarts);
    polled.setProgramStartFiles({QByteArrayLiteral("/nonexistent/libc.so.6")});
    int reports = 0;
    polled.setChangeHandler([&reports] { ++reports; });
    EXPECT_FALSE(polled.usesProgramStarts());
    polled.snapshot();
    proc.addTask(61, "shell");
    EXPECT_TRUE(eventsUntil([&] { return reports > 0; }));
    polled.setChangeHandler(nullptr);
    EXPECT_FALSE(polled.usesProgramStarts() || polled.usesProcessEvents())
        << "nothing watched once nobody listens";
    EXPECT_TRUE(howBirthsAreSeen(polled).contains(str("loadavg"))) << qPrintable(howBirthsAreSeen(polled));
}

TEST(ProgramStarts, aStartWithoutABirthFindsTheOldProcessThatRanAnotherProgram)
{
    // `exec game` in a shell that has run for long: no pid is handed out.
    MadeUpProc proc;
    for (ProcessId pid = 1; pid <= 40; ++pid)
        proc.addTask(pid, pid == 40 ? "shell" : "daemon");
    StartToldTable told(proc);
    EXPECT_EQ(names(told.table.snapshot()).last(), str("40 shell"));

    proc.setProgram(40, "game");
    openAndClose(told.library);
    EXPECT_TRUE(eventsUntil([&] { return told.reports > 0; }));
    // The settled processes' turns would reach it only after ten re-reads.
    EXPECT_EQ(names(told.table.snapshot()).last(), str("40 game"));
}

class RealBirths : public testing::TestWithParam<ProcProcessTable::BirthWatch>
{
protected:
    void TearDown() override
    {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
    }
    pid_t m_child = 0;
};

TEST_P(RealBirths, aNewProcessAndTheProgramItRunsAreReported)
{
    ProcProcessTable table(QByteArrayLiteral("/proc"), GetParam());
    int reports = 0;
    table.setChangeHandler([&reports] { ++reports; });
    if (GetParam() == ProcProcessTable::BirthWatch::Polling)
        EXPECT_FALSE(table.usesProcessEvents() || table.usesProgramStarts());
    else if (GetParam() == ProcProcessTable::BirthWatch::ProgramStarts)
        EXPECT_TRUE(table.usesProgramStarts()) << "the C library can be watched without privileges";
    else if (!table.usesProcessEvents())
        GTEST_SKIP() << "the kernel's process events cannot be had here (needs root or CAP_NET_ADMIN "
                        "in the first network namespace)";
    table.snapshot();

    const QString program = Tollgate::Sandbox::folder()
        + QStringLiteral("/tg-birth-%1").arg(QRandomGenerator::global()->generate());
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    const QByteArray path = QFile::encodeName(program);
    // Born under the test's own name, then running the copy: the exec must be seen too.
    m_child = ::fork();
    if (m_child == 0) {
        ::usleep(20000);
        ::execl(path.constData(), path.constData(), "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(m_child, 0);

    const QString name = program.section(u'/', -1);
    const auto running = [&] {
        for (const ProcessEntry& entry : table.snapshot()) {
            if (entry.pid == ProcessId(m_child))
                return entry.name == name;
        }
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    // Snapshots only once a report came, as the survey takes them.
    int seen = 0;
    bool found = false;
    while (!found && clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (reports > seen) {
            seen = reports;
            found = running();
        }
    }
    EXPECT_TRUE(found) << "no report led to the child running " << qPrintable(name);

    table.setChangeHandler(nullptr);
    EXPECT_FALSE(table.usesProcessEvents()) << "nothing is watched once nobody listens";
}

INSTANTIATE_TEST_SUITE_P(Watch, RealBirths,
    testing::Values(ProcProcessTable::BirthWatch::Polling, ProcProcessTable::BirthWatch::ProgramStarts,
        ProcProcessTable::BirthWatch::Best),
    [](const testing::TestParamInfo<ProcProcessTable::BirthWatch>& info) {
        switch (info.param) {
        case ProcProcessTable::BirthWatch::Polling:
            return "polling";
        case ProcProcessTable::BirthWatch::ProgramStarts:
            return "programStarts";
        case ProcProcessTable::BirthWatch::Best:
            break;
        }
        return "kernelEvents";
    });

} // namespace
