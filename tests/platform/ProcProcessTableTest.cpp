#include "platform/linux/ProcProcessTable.h"

#include "common/TestEnvironment.h"
#include "platform/ProcessLookup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tollgate::Platform;

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMilliseconds)
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString nameIn(const QList<ProcessEntry>& snapshot, ProcessId pid)
{
    for (const ProcessEntry& entry : snapshot) {
        if (entry.pid == pid)
            return entry.name;
    }
    return QString();
}

QString realSleep()
{
    return QFileInfo(QStandardPaths::findExecutable(QStringLiteral("sleep"))).canonicalFilePath();
}

// Children of the test, killed and reaped when the test ends.
class Children
{
public:
    ~Children()
    {
        for (auto& process : m_processes) {
            process->kill();
            process->waitForFinished(10000);
        }
        for (const pid_t pid : m_forked) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    QProcess* start(const QString& program, const QStringList& arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->start(program, arguments);
        if (!process->waitForStarted(30000))
            return nullptr;
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    // A child that renames itself and waits to be killed; only async-signal-safe calls
    // after the fork.
    pid_t forkRenamed(const char* name)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_NAME, name);
            for (;;)
                ::pause();
        }
        m_forked.push_back(pid);
        return pid;
    }

    pid_t forkExiting()
    {
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(0);
        m_forked.push_back(pid);
        return pid;
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::vector<pid_t> m_forked;
};

char stateOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text.at(close + 2) : '?';
}

class ProcessNames : public testing::Test
{
protected:
    Children m_children;
    ProcProcessTable m_table;
};

TEST_F(ProcessNames, aLongExecutableNameIsWhole)
{
    const QString name = QStringLiteral("a-rather-long-executable-name-for-tests");
    const QString copy = Tollgate::Sandbox::folder() + u'/' + name;
    ASSERT_TRUE(QFile::copy(realSleep(), copy));
    QProcess* child = m_children.start(copy, {QStringLiteral("600")});
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(nameIn(m_table.snapshot(), ProcessId(child->processId())), name);
}

TEST_F(ProcessNames, aSymlinkedBinaryIsKnownByItsTarget)
{
    const QString link = Tollgate::Sandbox::folder() + QStringLiteral("/linked-program");
    ASSERT_TRUE(QFile::link(realSleep(), link));
    QProcess* child = m_children.start(link, {QStringLiteral("600")});
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(nameIn(m_table.snapshot(), ProcessId(child->processId())), QFileInfo(realSleep()).fileName());
}

TEST_F(ProcessNames, aScriptIsKnownByItsInterpreter)
{
    const QString script
        = Tollgate::Sandbox::writeFile(QStringLiteral("my-script.sh"), "#!/bin/sh\nread line\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess* child = m_children.start(script, {});
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(nameIn(m_table.snapshot(), ProcessId(child->processId())),
        QFileInfo(QStringLiteral("/bin/sh")).canonicalFilePath().section(u'/', -1));
}

TEST_F(ProcessNames, aProcessThatRenamesItselfKeepsItsExecutableName)
{
    const pid_t pid = m_children.forkRenamed("renamed");
    ASSERT_TRUE(waitUntil([&] {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        return comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "renamed";
    }));
    const QString ownName = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).fileName();
    EXPECT_EQ(nameIn(m_table.snapshot(), ProcessId(pid)), ownName);
}

TEST_F(ProcessNames, aZombieIsNotARunningProcess)
{
    const pid_t pid = m_children.forkExiting();
    ASSERT_TRUE(waitUntil([&] { return stateOf(pid) == 'Z'; }));
    const QList<ProcessEntry> snapshot = m_table.snapshot();
    EXPECT_TRUE(nameIn(snapshot, ProcessId(pid)).isEmpty());
    EXPECT_TRUE(nameIn(m_table.fullSnapshot(), ProcessId(pid)).isEmpty());
}

TEST_F(ProcessNames, aListedProcessThatBecomesAZombieLeavesTheSnapshot)
{
    const pid_t pid = m_children.forkRenamed("doomed");
    ASSERT_TRUE(waitUntil([&] { return !nameIn(m_table.snapshot(), ProcessId(pid)).isEmpty(); }));
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return stateOf(pid) == 'Z'; }));
    // Not reaped yet: its pid is still in /proc.
    EXPECT_TRUE(waitUntil([&] { return nameIn(m_table.snapshot(), ProcessId(pid)).isEmpty(); }));
}

TEST_F(ProcessNames, aProcessThatExecsAnotherProgramIsRenamed)
{
    QProcess* child = m_children.start(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("read line; exec sleep 600")});
    ASSERT_NE(child, nullptr);
    const auto pid = ProcessId(child->processId());
    const QString shell = QFileInfo(QStringLiteral("/bin/sh")).canonicalFilePath().section(u'/', -1);
    ASSERT_TRUE(waitUntil([&] { return nameIn(m_table.fullSnapshot(), pid) == shell; }));

    // A table that has known the shell for long: only its rolling re-check can notice.
    ProcProcessTable settled;
    ASSERT_EQ(nameIn(settled.snapshot(), pid), shell);
    child->write("go\n");
    ASSERT_TRUE(child->waitForBytesWritten(30000));
    EXPECT_TRUE(
        waitUntil([&] { return nameIn(settled.snapshot(), pid) == QFileInfo(realSleep()).fileName(); }));
}

TEST_F(ProcessNames, twoProcessesOfOneNameComeInPidOrder)
{
    const QString copy = Tollgate::Sandbox::folder() + QStringLiteral("/twin-program");
    ASSERT_TRUE(QFile::copy(realSleep(), copy));
    QProcess* first = m_children.start(copy, {QStringLiteral("600")});
    QProcess* second = m_children.start(copy, {QStringLiteral("600")});
    ASSERT_TRUE(first && second);

    QList<ProcessId> twins;
    const QList<ProcessEntry> snapshot = m_table.snapshot();
    for (const ProcessEntry& entry : snapshot) {
        if (entry.name == QStringLiteral("twin-program"))
            twins.append(entry.pid);
    }
    const auto low = ProcessId(std::min(first->processId(), second->processId()));
    const auto high = ProcessId(std::max(first->processId(), second->processId()));
    EXPECT_EQ(twins, (QList<ProcessId> {low, high}));
    EXPECT_TRUE(std::is_sorted(snapshot.begin(), snapshot.end(),
        [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; }));

    class NoWindows : public WindowSystem
    {
        WindowId foregroundWindow() override { return 0; }
        QString windowTitle(WindowId) override { return {}; }
        bool postCloseRequest(WindowId) override { return false; }
        qint32 setTopMost(WindowId, bool) override { return 0; }
        QList<TopLevelWindow> topLevelWindows() override { return {}; }
        ProcessId windowProcessId(WindowId) override { return 0; }
        QList<CapabilityStatus> capabilities() override { return {}; }
    } noWindows;
    const ProcessLookup lookup(noWindows, m_table);
    EXPECT_EQ(lookup.FindProcessId(QStringLiteral("TWIN-PROGRAM")), low);
    EXPECT_EQ(lookup.FindProcessId(copy), 0u) << "a name with folders matches nothing";
}

TEST_F(ProcessNames, theTestProcessItselfIsListed)
{
    const QList<ProcessEntry> snapshot = m_table.snapshot();
    EXPECT_FALSE(nameIn(snapshot, ProcessId(::getpid())).isEmpty());
}

TEST(ProcessTermination, killsAChildAndReportsMissingProcesses)
{
    Children children;
    ProcProcessTable table;
    QProcess* child = children.start(realSleep(), {QStringLiteral("600")});
    ASSERT_NE(child, nullptr);
    const auto pid = ProcessId(child->processId());
    EXPECT_EQ(table.terminate(pid), TerminateResult::Terminated);
    EXPECT_TRUE(child->waitForFinished(30000));
    EXPECT_EQ(child->exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(table.terminate(pid), TerminateResult::NoSuchProcess);
    EXPECT_TRUE(nameIn(table.snapshot(), pid).isEmpty());
}

TEST(ProcessTermination, zeroAndHugeIdsSignalNothing)
{
    ProcProcessTable table;
    // kill(0) and kill(-1) would hit our own group or everything.
    EXPECT_EQ(table.terminate(0), TerminateResult::NoSuchProcess);
    EXPECT_EQ(table.terminate(0xFFFFFFFFu), TerminateResult::NoSuchProcess);
    EXPECT_EQ(table.terminate(0x80000000u), TerminateResult::NoSuchProcess);
}

TEST(ProcessTermination, anotherUsersProcessIsNotPermitted)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to test from an unprivileged child against a root process";
    // The check runs in a child that gives up root; its exit code carries the answer.
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ProcProcessTable table;
        ::_exit(table.terminate(ProcessId(parent)) == TerminateResult::NotPermitted ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ProcessStart, passesWordsVerbatimWithoutAShell)
{
    ProcProcessTable table;
    const QString output = Tollgate::Sandbox::folder() + QStringLiteral("/words.txt");
    const ProcessId pid = table.start(QStringLiteral("/bin/sh -c 'printf \"%s\\n\" \"$@\" > \"$0\"' ")
        + output + QStringLiteral(" 'a b' \"c\\\"d\" '$HOME' '*' e\\ f"));
    ASSERT_NE(pid, 0u);
    QByteArray written;
    EXPECT_TRUE(waitUntil([&] {
        written = Tollgate::Sandbox::readFile(output);
        return written.count('\n') == 5;
    }));
    EXPECT_EQ(written, QByteArray("a b\nc\"d\n$HOME\n*\ne f\n"));
}

TEST(ProcessStart, runsDetachedInItsOwnSessionAndLeavesNoZombie)
{
    ProcProcessTable table;
    const ProcessId pid = table.start(realSleep() + QStringLiteral(" 600"));
    ASSERT_NE(pid, 0u);
    EXPECT_NE(::getsid(pid_t(pid)), ::getsid(0)) << "a session of its own, not ours";
    EXPECT_NE(::getsid(pid_t(pid)), -1);
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray text = status.readAll();
    EXPECT_FALSE(text.contains("\nPPid:\t" + QByteArray::number(::getpid()) + '\n')) << "not our child";
    EXPECT_EQ(nameIn(table.snapshot(), pid), QFileInfo(realSleep()).fileName());

    EXPECT_EQ(table.terminate(pid), TerminateResult::Terminated);
    EXPECT_TRUE(waitUntil([&] { return nameIn(table.snapshot(), pid).isEmpty(); }));
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child of ours is left to reap";
}

TEST(ProcessStart, startsNothingForEmptyMissingOrBrokenCommandLines)
{
    ProcProcessTable table;
    EXPECT_EQ(table.start(QString()), 0u);
    EXPECT_EQ(table.start(QStringLiteral("   ")), 0u);
    EXPECT_EQ(table.start(QStringLiteral("''")), 0u);
    EXPECT_EQ(table.start(QStringLiteral("/nonexistent/program --flag")), 0u);
    EXPECT_EQ(table.start(QStringLiteral("no-such-program-anywhere-in-path")), 0u);
    EXPECT_EQ(table.start(QStringLiteral("sleep '600")), 0u);
}

} // namespace
