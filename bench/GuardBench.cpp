// What the guard costs and how fast it acts, measured side by side with the guard off, in
// one run as root on this machine:
//   - the median time of an exec (fork, exec of /bin/true, reap) by a managed account, with
//     no guard and with the guard denying before run, and the guard's CPU per such exec;
//   - that a blocked program and a renamed copy never run (marks left: must be 0);
//   - from the fork of a blocked program to its end, with the guard ending programs at exec;
//   - the guard's CPU while nothing happens;
//   - from the kill of the session program to its new start (on a private Xvfb).
// Usage: guard_bench [EXECS]   (default 2000)
#include "common/ChildProcesses.h"
#include "platform/linux/Accounts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const QString BinDir = QStringLiteral(TOLLGATE_BIN_DIR);
uid_t nobody = 65534;
gid_t nogroup = 65534;

// Runs a program as nobody and returns the microseconds from fork to reap, and whether it
// ended by a signal.
std::pair<double, bool> runAsNobody(
    const char* program, const char* argument, const char* seconds = nullptr, bool asNobody = true)
{
    QElapsedTimer clock;
    clock.start();
    const pid_t child = ::fork();
    if (child == 0) {
        if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(nobody) != 0))
            ::_exit(126);
        ::execl(program, program, argument, seconds, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {double(clock.nsecsElapsed()) / 1000.0, WIFSIGNALED(status)};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// CPU time all threads of the process have used, in microseconds (the scheduler's count).
double cpuMicroseconds(qint64 pid)
{
    double total = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks + u'/' + task + QStringLiteral("/schedstat"));
        if (file.open(QIODevice::ReadOnly))
            total += file.readAll().split(' ').value(0).toDouble() / 1000.0;
    }
    return total;
}

double medianExec(int execs, bool asNobody)
{
    std::vector<double> times;
    for (int i = 0; i < execs; ++i)
        times.push_back(runAsNobody("/bin/true", nullptr, nullptr, asNobody).first);
    return median(times);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int execs = argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000;
    if (::geteuid() != 0) {
        std::fprintf(stderr, "guard_bench: run it as root\n");
        return 2;
    }
    if (const auto account = Tollgate::Platform::Accounts::byName(QStringLiteral("nobody"))) {
        nobody = account->uid;
        nogroup = account->gid;
    }
    QTemporaryDir dir(QStringLiteral("/tmp/tollgate-guard-bench-XXXXXX"));
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther);
    const QString game = dir.filePath(QStringLiteral("tg-game"));
    const QString copy = dir.filePath(QStringLiteral("homework"));
    const QString mark = dir.filePath(QStringLiteral("mark"));
    QFile::copy(BinDir + QStringLiteral("/tollgate_test_mark"), game);
    QFile::copy(game, copy);
    QFile document(dir.filePath(QStringLiteral("lab.Tollgate")));
    document.open(QIODevice::WriteOnly);
    document.write("[Processes]\nCount=1\nProcess_1=tg-game\nAction_1=3\nExe_1=\n");
    document.close();
    QFile config(dir.filePath(QStringLiteral("guard.conf")));
    config.open(QIODevice::WriteOnly);
    config.write("[Guard]\nDocument=" + QFile::encodeName(document.fileName()) + "\nAccounts=nobody\n");
    config.close();

    Tollgate::Test::ChildProcesses children;
    const auto startGuard = [&](const QStringList& options) {
        QProcess* guard = children.start(BinDir + QStringLiteral("/tollgate-guard"),
            QStringList {QStringLiteral("--config"), config.fileName()} + options,
            QProcessEnvironment::systemEnvironment(), Tollgate::Test::ChildProcesses::Output::Captured);
        QByteArray log;
        while (guard && !log.contains("rules loaded") && guard->waitForReadyRead(10000))
            log += guard->readAllStandardError();
        std::printf("%s", log.constData());
        return guard;
    };

    const double off = medianExec(execs, true);
    const double rootOff = medianExec(execs, false);
    QProcess* guard = startGuard({});
    double cpuBefore = cpuMicroseconds(guard->processId());
    const double on = medianExec(execs, true);
    const double cpuPerExec = (cpuMicroseconds(guard->processId()) - cpuBefore) / execs;
    cpuBefore = cpuMicroseconds(guard->processId());
    const double rootOn = medianExec(execs, false);
    const double cpuPerRootExec = (cpuMicroseconds(guard->processId()) - cpuBefore) / execs;
    int marks = 0;
    for (int i = 0; i < 200; ++i) {
        runAsNobody(i % 2 ? qPrintable(game) : qPrintable(copy), qPrintable(mark));
        marks += QFile::remove(mark) ? 1 : 0;
    }
    const double idleBefore = cpuMicroseconds(guard->processId());
    QThread::sleep(5);
    const double idlePerSecond = (cpuMicroseconds(guard->processId()) - idleBefore) / 5;
    children.killAll();

    guard = startGuard({QStringLiteral("--end-at-exec")});
    std::vector<double> ends;
    for (int i = 0; i < 100; ++i) {
        const auto [micros, signalled] = runAsNobody(qPrintable(game), qPrintable(mark), "10");
        if (signalled)
            ends.push_back(micros);
        QFile::remove(mark);
    }
    children.killAll();

    // The session program: killed by its own account, back after how long.
    std::vector<double> returns;
    QProcess* xvfb = children.start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
            QStringLiteral("tcp")},
        QProcessEnvironment::systemEnvironment(), Tollgate::Test::ChildProcesses::Output::Captured);
    if (xvfb && xvfb->waitForReadyRead(10000)) {
        const QByteArray display = ':' + xvfb->readAllStandardOutput().trimmed();
        config.open(QIODevice::Append);
        config.write("Sessions=nobody " + display + "\n");
        config.close();
        startGuard({QStringLiteral("--end-at-exec")});
        const QString program = QFileInfo(BinDir + QStringLiteral("/tollgate")).canonicalFilePath();
        const auto sessionProgram = [&] {
            for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).canonicalFilePath() == program)
                    return entry.toLongLong();
            }
            return 0LL;
        };
        for (int round = 0; round < 3; ++round) {
            // Settled first: a program that keeps dying at once is started again ever later.
            QThread::sleep(6);
            const qint64 before = sessionProgram();
            if (before == 0)
                break;
            QElapsedTimer clock;
            clock.start();
            ::kill(pid_t(before), SIGKILL);
            qint64 after = 0;
            while (((after = sessionProgram()) == 0 || after == before) && clock.elapsed() < 10000)
                QThread::msleep(1);
            returns.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        children.killAll();
    }

    std::printf("exec by a managed account, median of %d: %.0f us without the guard, %.0f us with it "
                "(%+.0f us)\n",
        execs, off, on, on - off);
    std::printf(
        "exec by an account not managed (root), median of %d: %.0f us without, %.0f us with (%+.0f us)\n",
        execs, rootOff, rootOn, rootOn - rootOff);
    std::printf("guard CPU per exec: %.1f us managed, %.1f us not managed; while idle: %.1f us a second\n",
        cpuPerExec, cpuPerRootExec, idlePerSecond);
    std::printf("blocked program and renamed copy run 200 times: %d ran\n", marks);
    std::printf("ended at exec (no permission events): %zu of 100, median %.0f us from fork to end\n",
        ends.size(), median(ends));
    std::printf("session program killed and back: median of %zu: %.0f ms\n", returns.size(), median(returns));
    return marks == 0 ? 0 : 1;
}
