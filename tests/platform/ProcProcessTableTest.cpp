// The Linux process table and single-instance lock: the backend contract, and what only
// Linux has (names from /proc, zombies, sessions, lock files).
#include "platform/linux/ProcProcessTable.h"

#include "Forked.h"
#include "common/NamedProgram.h"
#include "common/PlatformContracts.h"
#include "platform/linux/SingleInstanceLock.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <algorithm>
#include <sched.h>
#include <sys/syscall.h>
#include <thread>

using namespace Tollgate;
using namespace Tollgate::Platform;
using Tollgate::Test::ChildProcesses;
using Tollgate::Test::Forked;
using Tollgate::Test::NamedProgram;
using Tollgate::Test::waitUntil;

namespace {

struct LinuxBackend
{
    using Table = ProcProcessTable;
    using Instance = SingleInstanceLock;
    using Program = NamedProgram;
    static QStringList arguments() { return {str("600")}; }
    static QString instanceName() { return str("tollgate"); }
};

QString nameIn(const QList<ProcessEntry>& snapshot, pid_t pid)
{
    const auto found = std::ranges::find(snapshot, ProcessId(pid), &ProcessEntry::pid);
    return found == snapshot.end() ? QString() : found->name;
}

QString fileName(const QString& path)
{
    return QFileInfo(QFileInfo(path).canonicalFilePath()).fileName();
}

} // namespace

namespace Tollgate::Test {
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, BackendContract, testing::Types<LinuxBackend>);
}

TEST(ProcessNames, comeFromTheProgramFileWhateverTheProcessCallsItselfOrRunsLaterAndAZombieHasNone)
{
    const QString sleep = QFileInfo(str("/bin/sleep")).canonicalFilePath();
    const NamedProgram longName(str("a-rather-long-executable-name-"));
    const QString link = Sandbox::folder() + str("/linked-program");
    ASSERT_TRUE(longName.ready() && QFile::link(sleep, link));
    // Named for its interpreter until told to run sleep in its place.
    const QString script = Sandbox::writeFile(str("my-script.sh"), "#!/bin/sh\nread line\nexec sleep 600\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::pair<QString, QString> cases[]
        = {{longName.path(), longName.name()}, {link, fileName(sleep)}, {script, fileName(str("/bin/sh"))}};
    ChildProcesses children;
    QList<QProcess*> started;
    for (const auto& [program, name] : cases) {
        started.append(children.start(program, {str("600")}));
        ASSERT_NE(started.last(), nullptr) << program.toStdString();
    }
    const Forked renamed([] {
        ::prctl(PR_SET_NAME, "renamed");
        for (;;)
            ::pause();
    });
    ASSERT_TRUE(waitUntil([&] {
        return Sandbox::readFile(QStringLiteral("/proc/%1/comm").arg(renamed.pid())) == "renamed\n";
    }));

    ProcProcessTable table;
    const QList<ProcessEntry> snapshot = table.snapshot();
    for (int i = 0; i < started.size(); ++i)
        EXPECT_EQ(nameIn(snapshot, pid_t(started[i]->processId())), cases[i].second)
            << cases[i].first.toStdString();
    EXPECT_EQ(nameIn(snapshot, renamed.pid()), fileName(str("/proc/self/exe")));

    // The same pid, another program, to a table that knows the shell already.
    started.last()->write("go\n");
    ASSERT_TRUE(started.last()->waitForBytesWritten(30000));
    EXPECT_TRUE(waitUntil(
        [&] { return nameIn(table.snapshot(), pid_t(started.last()->processId())) == fileName(sleep); }));

    // Killed, it stays a zombie until reaped: no running process, to a table that knew it
    // and to a fresh one.
    ::kill(renamed.pid(), SIGKILL);
    ASSERT_TRUE(renamed.ended(true));
    EXPECT_TRUE(waitUntil([&] { return nameIn(table.snapshot(), renamed.pid()).isEmpty(); }));
    EXPECT_TRUE(nameIn(table.fullSnapshot(), renamed.pid()).isEmpty());
    EXPECT_TRUE(nameIn(ProcProcessTable().snapshot(), renamed.pid()).isEmpty())
        << "a zombie at the first look";
}

TEST(ProcessTermination, zeroAndIdsBeyondAnIntSignalNothing)
{
    // Passed on to kill(), they would reach our process group or every process: so they
    // are asked in a session and pid namespace of their own, beside a process that would
    // be hit, and nothing outside can be.
    ProcProcessTable table;
    Forked child([&table] {
        if (::unshare(::geteuid() == 0 ? CLONE_NEWPID : CLONE_NEWUSER | CLONE_NEWPID) != 0)
            ::_exit(2);
        const pid_t inner = ::fork();
        if (inner == 0) {
            ::setsid();
            const pid_t bystander = ::fork();
            while (bystander == 0)
                ::pause();
            for (const ProcessId id : {0u, 0x80000000u, 0xFFFFFFFFu}) {
                if (table.terminate(id) != TerminateResult::NoSuchProcess)
                    ::_exit(1);
            }
            ::_exit(bystander > 0 && ::waitpid(bystander, nullptr, WNOHANG) == 0 ? 0 : 1);
        }
        int status = 0;
        ::_exit(inner > 0 && ::waitpid(inner, &status, 0) == inner && WIFEXITED(status) ? WEXITSTATUS(status)
                                                                                        : 3);
    });
    const int status = child.reap();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "no pid namespace can be made here (needs root or user namespaces), and outside "
                        "one a failure would kill every process";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(ProcessTermination, anotherUsersProcessIsNotPermitted)
{
    ProcProcessTable table;
    if (::geteuid() != 0) {
        if (QFileInfo(str("/proc/1")).ownerId() == ::geteuid())
            GTEST_SKIP() << "without root, only pid 1 is known to be another user's, and here it is ours";
        EXPECT_EQ(table.terminate(1), TerminateResult::NotPermitted);
        return;
    }
    // As root: from a thread as nobody against a process of root's.
    const Forked target;
    // Credentials through the raw calls are the thread's alone; the thread ends with them.
    TerminateResult result = TerminateResult::Terminated;
    std::thread([&] {
        if (::syscall(SYS_setresgid, 65534, 65534, 65534) == 0
            && ::syscall(SYS_setresuid, 65534, 65534, 65534) == 0)
            result = table.terminate(ProcessId(target.pid()));
    }).join();
    EXPECT_EQ(result, TerminateResult::NotPermitted);
    EXPECT_FALSE(target.ended());
}

// Words verbatim, without a shell; the program detached in a session of its own.
TEST(ProcessStart, passesWordsVerbatimAndRunsDetachedInASessionOfItsOwn)
{
    ProcProcessTable table;
    const QString output = Sandbox::folder() + str("/words.txt");
    ASSERT_NE(table.start(str("/bin/sh -c 'printf \"%s\\n\" \"$@\" > \"$0\"' ") + output
                  + str(" 'a b' \"c\\\"d\" '$HOME' '*' e\\ f")),
        0u);
    EXPECT_TRUE(waitUntil([&] { return Sandbox::readFile(output).count('\n') == 5; }));
    EXPECT_EQ(Sandbox::readFile(output), QByteArray("a b\nc\"d\n$HOME\n*\ne f\n"));
    EXPECT_EQ(table.start(str("''")), 0u);

    // A path with blanks whose quotes a document read removed runs whole, not its first word.
    const QString ran = Sandbox::folder() + str("/ran");
    for (const char* name : {"My", "My Kiosk/kiosk"}) {
        QFile script(Sandbox::writeFile(str(name), "#!/bin/sh\necho \"$0\" > \"" + ran.toUtf8() + "\"\n"));
        ASSERT_TRUE(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }
    const QString whole = Sandbox::folder() + str("/My Kiosk/kiosk");
    ASSERT_NE(table.start(whole), 0u);
    EXPECT_TRUE(waitUntil([&] { return Sandbox::readFile(ran).endsWith('\n'); }));
    EXPECT_EQ(Sandbox::readFile(ran), whole.toUtf8() + '\n');

    const NamedProgram program;
    ASSERT_TRUE(program.ready());
    const ProcessId pid = table.start(program.path() + str(" 600"));
    ASSERT_NE(pid, 0u);
    EXPECT_NE(::getsid(pid_t(pid)), ::getsid(0));
    EXPECT_NE(::getsid(pid_t(pid)), -1);
    EXPECT_FALSE(Sandbox::readFile(QStringLiteral("/proc/%1/status").arg(pid))
                     .contains("\nPPid:\t" + QByteArray::number(::getpid()) + '\n'))
        << "not our child: it must not become our zombie";
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child of ours to reap";
}

TEST(SingleInstanceLock, liesInTheRuntimeFolderElseInAPrivateFileThatFollowsNoLinksAndGoesWithItsHolder)
{
    EXPECT_EQ(SingleInstanceLock::lockPath(str("tollgate")), Sandbox::folder() + str("/run/tollgate.lock"));
    // A child holds it through the descriptor it inherits, as another instance would.
    auto lock = std::make_unique<SingleInstanceLock>();
    ASSERT_FALSE(lock->otherInstanceRuns());
    Forked holder;
    lock.reset();
    EXPECT_TRUE(SingleInstanceLock().otherInstanceRuns());
    ::kill(holder.pid(), SIGKILL);
    holder.reap();
    EXPECT_FALSE(SingleInstanceLock().otherInstanceRuns());

    const QString temporary = Sandbox::folder() + str("/tmp");
    QDir().mkpath(temporary);
    const auto restore = qScopeGuard([runtime = qgetenv("XDG_RUNTIME_DIR"), tmp = qgetenv("TMPDIR")] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", tmp);
    });
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", temporary.toUtf8());
    const QString path = SingleInstanceLock::lockPath(str("tollgate"));
    EXPECT_EQ(path, temporary + QStringLiteral("/tollgate-%1.lock").arg(::geteuid()));

    // Someone else's link in the shared folder: we neither follow nor touch it.
    const QString victim = Sandbox::writeFile(str("victim.txt"), "precious");
    ASSERT_TRUE(QFile::link(victim, path));
    SingleInstanceLock unsafe;
    EXPECT_FALSE(unsafe.otherInstanceRuns()) << "a lock we cannot take safely does not stop the program";
    EXPECT_FALSE(unsafe.holdsLock());
    EXPECT_EQ(Sandbox::readFile(victim), QByteArray("precious"));

    QFile::remove(path);
    SingleInstanceLock first;
    EXPECT_FALSE(first.otherInstanceRuns());
    EXPECT_TRUE(SingleInstanceLock().otherInstanceRuns());
    EXPECT_EQ(QFile::permissions(path)
            & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
        QFile::Permissions());
}
