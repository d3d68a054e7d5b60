#include "platform/linux/SingleInstanceLock.h"

#include "common/TestEnvironment.h"
#include "platform/linux/ProcProcessTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

using namespace Tollgate::Platform;

namespace {

// Restores an environment variable when the test ends.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const char* name, const QByteArray& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentOverride()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

TEST(SingleInstanceLock, aSecondInstanceSeesTheFirstUntilItEnds)
{
    auto first = std::make_unique<SingleInstanceLock>();
    EXPECT_FALSE(first->otherInstanceRuns());
    EXPECT_TRUE(first->holdsLock());
    EXPECT_FALSE(first->otherInstanceRuns()) << "asking again does not see itself";

    SingleInstanceLock second;
    EXPECT_TRUE(second.otherInstanceRuns());
    EXPECT_FALSE(second.holdsLock());

    first.reset();
    EXPECT_FALSE(second.otherInstanceRuns());
    EXPECT_TRUE(second.holdsLock());
}

TEST(SingleInstanceLock, liesInTheRuntimeFolder)
{
    EXPECT_EQ(SingleInstanceLock::lockPath(QStringLiteral("tollgate")),
        Tollgate::Sandbox::folder() + QStringLiteral("/run/tollgate.lock"));
}

TEST(SingleInstanceLock, isReleasedWhenItsHolderIsKilled)
{
    const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
    if (flock.isEmpty())
        GTEST_SKIP() << "flock(1) from util-linux is not installed";
    // flock(1) takes the same kind of lock on a descriptor that the shell then hands to
    // sleep, so one process holds it and killing that process is the holder's end.
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("exec 9>>\"$0\"; flock 9; exec sleep 600"),
            SingleInstanceLock::lockPath(QStringLiteral("tollgate"))});
    ASSERT_TRUE(holder.waitForStarted(30000));
    // flock(1) may not have taken it yet, or wait for ours; give ours back and ask again.
    std::optional<SingleInstanceLock> lock;
    QElapsedTimer clock;
    clock.start();
    bool seen = false;
    while (!seen && clock.elapsed() < 30000) {
        lock.emplace();
        seen = lock->otherInstanceRuns();
        if (!seen)
            QThread::msleep(20);
    }
    ASSERT_TRUE(seen);
    ASSERT_FALSE(lock->holdsLock());
    holder.kill();
    holder.waitForFinished(30000);
    // Killed before its exec, the shell may leave flock(1) holding the descriptor a moment
    // longer; the lock must come free once the last holder is gone.
    clock.restart();
    do {
        lock.emplace();
        if (!lock->otherInstanceRuns())
            break;
        QThread::msleep(20);
    } while (clock.elapsed() < 30000);
    EXPECT_FALSE(lock->otherInstanceRuns());
    EXPECT_TRUE(lock->holdsLock());
}

TEST(SingleInstanceLock, programsWeStartDoNotInheritIt)
{
    ProcProcessTable table;
    auto lock = std::make_unique<SingleInstanceLock>();
    ASSERT_FALSE(lock->otherInstanceRuns());
    const ProcessId child = table.start(QStringLiteral("sleep 600"));
    ASSERT_NE(child, 0u);
    lock.reset();

    SingleInstanceLock next;
    EXPECT_FALSE(next.otherInstanceRuns()) << "the started program must not keep the lock alive";
    table.terminate(child);
}

TEST(SingleInstanceLock, withoutARuntimeFolderUsesAPrivateFileAndFollowsNoLinks)
{
    const QString temporary = Tollgate::Sandbox::folder() + QStringLiteral("/tmp");
    QDir().mkpath(temporary);
    const EnvironmentOverride runtime("XDG_RUNTIME_DIR", QByteArray());
    const EnvironmentOverride tmp("TMPDIR", temporary.toUtf8());

    const QString path = SingleInstanceLock::lockPath(QStringLiteral("tollgate"));
    EXPECT_EQ(path, temporary + QStringLiteral("/tollgate-%1.lock").arg(::geteuid()));

    // Someone else's link in the shared folder: we neither follow nor touch it.
    const QString victim = Tollgate::Sandbox::writeFile(QStringLiteral("victim.txt"), "precious");
    ASSERT_TRUE(QFile::link(victim, path));
    SingleInstanceLock lock;
    EXPECT_FALSE(lock.otherInstanceRuns()) << "a lock we cannot take safely does not stop the program";
    EXPECT_FALSE(lock.holdsLock());
    EXPECT_EQ(Tollgate::Sandbox::readFile(victim), QByteArray("precious"));

    QFile::remove(path);
    SingleInstanceLock first;
    SingleInstanceLock second;
    EXPECT_FALSE(first.otherInstanceRuns());
    EXPECT_TRUE(second.otherInstanceRuns());
    EXPECT_EQ(QFile::permissions(path)
            & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
        QFile::Permissions());
}

} // namespace
