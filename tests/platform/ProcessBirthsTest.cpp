// How ProcProcessTable learns of new, changed and ended processes without listing /proc
// each time: against a made-up /proc whose counts the test controls, and against the real
// one with each way of watching births; and how a table without such means compares lists.
#include "Forked.h"
#include "common/NamedProgram.h"
#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"
#include "platform/linux/ProcProcessTable.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>

using namespace Tollgate;
using namespace Tollgate::Platform;
using Tollgate::Test::Forked;
using Tollgate::Test::NamedProgram;
using Tollgate::Test::waitProcessingEvents;
using BirthWatch = ProcProcessTable::BirthWatch;

namespace {

constexpr qint64 Never = std::numeric_limits<qint64>::max();

// A /proc of files: loadavg with the task count and last pid, and a folder per task.
class MadeUpProc
{
public:
    QByteArray root() const { return QFile::encodeName(Sandbox::folder() + u'/' + m_root); }

    void addTask(ProcessId pid, const char* program, ProcessId tgid = 0)
    {
        Sandbox::writeFile(task(pid, "stat"), QByteArray::number(pid) + " (x) S 1 1 1 0 -1 0 0 0");
        Sandbox::writeFile(
            task(pid, "status"), "Name:\tx\nTgid:\t" + QByteArray::number(tgid ? tgid : pid) + "\n");
        setProgram(pid, program);
        ++m_tasks;
        skipPid(std::max(m_lastPid, pid));
    }
    // The task runs another program (an exec).
    void setProgram(ProcessId pid, const char* program)
    {
        QFile::remove(Sandbox::folder() + u'/' + task(pid, "exe"));
        QFile::link(str("/usr/bin/") + str(program), Sandbox::folder() + u'/' + task(pid, "exe"));
    }
    void removeTask(ProcessId pid)
    {
        QDir(Sandbox::folder() + u'/' + task(pid, "")).removeRecursively();
        --m_tasks;
        skipPid(m_lastPid);
    }
    // Also a pid handed out to a task that ended before anyone looked.
    void skipPid(ProcessId pid)
    {
        m_lastPid = pid;
        Sandbox::writeFile(m_root + str("/loadavg"),
            "0.00 0.01 0.05 1/" + QByteArray::number(m_tasks) + ' ' + QByteArray::number(pid) + '\n');
    }

private:
    QString task(ProcessId pid, const char* file) const
    {
        return QStringLiteral("%1/%2/%3").arg(m_root).arg(pid).arg(str(file));
    }

    static inline int s_count = 0;
    QString m_root = QStringLiteral("proc-%1").arg(++s_count);
    int m_tasks = 0;
    ProcessId m_lastPid = 0;
};

QString listed(const QList<ProcessEntry>& entries)
{
    QStringList result;
    for (const ProcessEntry& entry : entries)
        result.append(QString::number(entry.pid) + u' ' + entry.name);
    return result.join(str(", "));
}

QString described(const ProcessChanges& changes)
{
    QString result = (changes.complete ? str("complete: ") : QString()) + listed(changes.started);
    for (const ProcessId pid : changes.ended)
        result += str(" -") + QString::number(pid);
    return result;
}

// /proc is listed only when the task count is not what the births and exits explain (and
// the gap allows), so that what the table finds otherwise shows.
struct CountDrivenTable : ProcProcessTable
{
    explicit CountDrivenTable(const MadeUpProc& proc, qint64 unexplainedGap = 0)
        : ProcProcessTable(proc.root(), BirthWatch::Polling)
    {
        setListingInterval(Never);
        setUnexplainedListingGap(unexplainedGap);
    }
};

// A backend without changes of its own: a table that hands out whatever list the test sets.
struct ListTable : ProcessTable
{
    QList<ProcessEntry> list;

    QList<ProcessEntry> snapshot() override { return list; }
    TerminateResult terminate(ProcessId) override { return TerminateResult::NoSuchProcess; }
    ProcessId start(const QString&) override { return 0; }
    QList<CapabilityStatus> capabilities() override { return {}; }
};

} // namespace

TEST(ProcessBirths, birthsExecsAndExitsAreFoundWithoutAListingButOldExitsWithOne)
{
    MadeUpProc proc;
    proc.addTask(1, "init");
    proc.addTask(50, "editor");
    CountDrivenTable table(proc);
    EXPECT_EQ(described(table.changes()), str("complete: 1 init, 50 editor"));
    EXPECT_EQ(described(table.changes()), QString());

    // A process with a thread, a pid whose task ended unseen, another process, and a pid
    // whose task shows in /proc only after the next look.
    proc.addTask(51, "game");
    proc.addTask(52, "game", 51);
    proc.skipPid(53);
    proc.addTask(54, "browser");
    proc.skipPid(55);
    EXPECT_EQ(listed(table.snapshot()), str("1 init, 50 editor, 51 game, 54 browser"));
    proc.addTask(55, "late");
    EXPECT_EQ(described(table.changes()), str("51 game, 54 browser, 55 late"))
        << "a snapshot in between consumes nothing";

    // A young process runs another program, another ends.
    proc.setProgram(54, "shell");
    proc.removeTask(51);
    EXPECT_EQ(described(table.changes()), str("54 shell -51"));

    // A thread seen born ends, and an old process, whose end only the task count shows.
    proc.removeTask(52);
    proc.removeTask(50);
    EXPECT_EQ(described(table.changes()), str(" -50"));
    EXPECT_EQ(listed(table.snapshot()), str("1 init, 54 shell, 55 late"));

    // Pids that wrap round.
    proc.addTask(7, "shell");
    proc.skipPid(7);
    EXPECT_EQ(described(table.changes()), str("7 shell"));
    table.fullSnapshot();
    EXPECT_EQ(described(table.changes()), str("complete: 1 init, 7 shell, 54 shell, 55 late"));
}

TEST(ProcessBirths, anOldProcessThatEndsBesideBirthsIsFoundSoonWhateverTheCountsSayLater)
{
    // More settled processes than the snapshots below re-read in turn.
    MadeUpProc proc;
    for (ProcessId pid = 1; pid <= 40; ++pid)
        proc.addTask(pid, "daemon");
    CountDrivenTable table(proc, Never);
    EXPECT_EQ(table.snapshot().size(), 40);

    // Later snapshots see counts that add up; the exit is not forgotten.
    proc.removeTask(40);
    proc.addTask(60, "game");
    EXPECT_TRUE(listed(table.snapshot()).endsWith(str("60 game")));
    table.snapshot();
    table.setUnexplainedListingGap(0);
    EXPECT_FALSE(listed(table.snapshot()).contains(str("40 daemon")));

    // Births one after the other put its listing off only for a while.
    proc.removeTask(39);
    proc.addTask(61, "game");
    table.snapshot();
    QThread::msleep(ProcProcessTable::ListingPostponeMilliseconds + 10);
    proc.addTask(62, "game");
    EXPECT_FALSE(listed(table.snapshot()).contains(str("39 daemon")));
}

TEST(ProcessChangesFromSnapshots, aBackendWithoutChangesOfItsOwnIsComparedSnapshotBySnapshot)
{
    ListTable table;
    table.list = {{10, str("init")}, {20, str("shell")}, {30, str("editor")}};
    EXPECT_EQ(described(table.changes()), str("complete: 10 init, 20 shell, 30 editor"));
    EXPECT_EQ(described(table.changes()), QString());

    table.list = {{10, str("init")}, {25, str("sh")}, {30, str("game")}};
    table.snapshot();
    EXPECT_EQ(described(table.changes()), str("25 sh, 30 game -20"))
        << "a snapshot in between consumes nothing";

    // Without an ascending order nothing can be merged: everything, every time.
    table.list = {{25, str("sh")}, {10, str("init")}};
    EXPECT_EQ(described(table.changes()), str("complete: 25 sh, 10 init"));
    EXPECT_EQ(described(table.changes()), str("complete: 25 sh, 10 init"));
    table.list = {{10, str("init")}};
    EXPECT_EQ(described(table.changes()), str("complete: 10 init"));
    table.list.clear();
    EXPECT_EQ(described(table.changes()), str(" -10"));
}

TEST(ProcFieldsTaskCounters, totalAndLastPidOrNothing)
{
    const auto counters = ProcFields::taskCounters("0.42 0.35 0.30 2/431 12345\n");
    EXPECT_EQ(std::pair(counters.total, counters.lastPid), std::pair(qint64(431), ProcessId(12345)));
    for (const char* bad : {"", "0.42 0.35 0.30 2/431", "0.42 0.35 0.30 2431 12345",
             "0.42 0.35 0.30 2/x 12345", "0.42 0.35 0.30 2/431 99999999999"})
        EXPECT_EQ(ProcFields::taskCounters(bad).total, -1) << bad;
}

// Whether no start file or no C library turns the watch off, RealBirths shows.
TEST(ProgramStarts, aStartFindsTheOldProcessThatRanAnotherProgramAndTheNewOneBornAlsoAfterAnUpdate)
{
    MadeUpProc proc;
    for (ProcessId pid = 1; pid <= 40; ++pid)
        proc.addTask(pid, pid == 40 ? "shell" : "daemon");
    const QString library = Sandbox::writeFile(str("libc-told.so"), QByteArray());
    ProcProcessTable table(proc.root(), BirthWatch::ProgramStarts);
    table.setProgramStartFiles({QFile::encodeName(library)});
    table.setListingInterval(Never);
    int reports = 0;
    table.setChangeHandler([&reports] { ++reports; });
    ASSERT_TRUE(table.usesProgramStarts());
    table.changes();
    // The library opened, as the dynamic loader opens the C library, until a report comes.
    const auto toldChanges = [&] {
        reports = 0;
        EXPECT_TRUE(
            waitProcessingEvents([&] { return QFile(library).open(QIODevice::ReadOnly) && reports > 0; }));
        return described(table.changes());
    };

    // `exec game` in a shell that has run for long: no pid is handed out, and the settled
    // processes' turns would reach it only after ten re-reads.
    proc.setProgram(40, "game");
    EXPECT_EQ(toldChanges(), str("40 game"));
    // Born and running before anyone looks: only the open of the library tells.
    proc.addTask(60, "game");
    EXPECT_EQ(toldChanges(), str("60 game"));

    // A package manager puts the new library in its place: the new file is watched.
    const QString update = Sandbox::writeFile(str("libc-told.so.new"), "new");
    ASSERT_EQ(::rename(QFile::encodeName(update).constData(), QFile::encodeName(library).constData()), 0);
    proc.addTask(61, "game");
    EXPECT_EQ(toldChanges(), str("61 game"));
    table.setChangeHandler(nullptr);
}

namespace {

struct Watch
{
    BirthWatch mode;
    QByteArray startFile; // instead of the C library when set
    const char* how;
    const char* name;
};
using RealBirths = testing::TestWithParam<Watch>;

} // namespace

TEST_P(RealBirths, aNewProcessAndTheProgramItRunsAreReported)
{
    ProcProcessTable table(QByteArrayLiteral("/proc"), GetParam().mode);
    if (!GetParam().startFile.isEmpty())
        table.setProgramStartFiles({GetParam().startFile});
    int reports = 0;
    table.setChangeHandler([&reports] { ++reports; });
    if (GetParam().mode == BirthWatch::Best && !table.usesProcessEvents())
        GTEST_SKIP() << "the kernel's process events cannot be had here (needs root or CAP_NET_ADMIN "
                        "in the first network namespace)";
    const QList<CapabilityStatus> all = table.capabilities();
    const auto how = std::ranges::find(all, Capability::ProcessEvents, &CapabilityStatus::capability);
    ASSERT_NE(how, all.end());
    EXPECT_TRUE(how->detail.startsWith(str(GetParam().how))) << qPrintable(how->detail);
    table.snapshot();

    // Born under the test's own name, then running the copy: the exec must be seen too.
    const NamedProgram program;
    ASSERT_TRUE(program.ready());
    const QByteArray path = QFile::encodeName(program.path());
    const Forked child([&path] {
        ::usleep(20000);
        ::execl(path.constData(), path.constData(), "30", nullptr);
    });
    // Snapshots only once a report came, as the survey takes them.
    int seen = 0;
    EXPECT_TRUE(waitProcessingEvents([&] {
        return std::exchange(seen, reports) != reports
            && table.snapshot().contains(ProcessEntry {ProcessId(child.pid()), program.name()});
    })) << "no report led to the child running "
        << qPrintable(program.name());

    table.setChangeHandler(nullptr);
    EXPECT_FALSE(table.usesProcessEvents() || table.usesProgramStarts())
        << "nothing is watched once nobody listens";
}

INSTANTIATE_TEST_SUITE_P(Births, RealBirths,
    testing::Values(Watch {BirthWatch::Polling, {}, "new pids from /proc/loadavg", "polling"},
        Watch {BirthWatch::ProgramStarts, {}, "program starts from the opens of", "programStarts"},
        Watch {BirthWatch::ProgramStarts, "/nonexistent/libc.so.6", "new pids from", "noStartFile"},
        Watch {BirthWatch::Best, {}, "the kernel's process events", "kernelEvents"}),
    [](const testing::TestParamInfo<Watch>& info) { return std::string(info.param.name); });
