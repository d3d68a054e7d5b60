// Saves that die half-way and saves onto a full disk: the rule-set document and the
// registry hive files are always either the complete old or the complete new contents.
#include "common/TestEnvironment.h"
#include "lang/MessageCatalogue.h"
#include "store/RegistryStore.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"
#include "store/TextFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tollgate;

namespace {

// 5,000 window and 5,000 process rules, their texts marked with the variant.
void fill(RuleSet& rules, char variant, int perSection = 5000)
{
    QList<QStringList> windows;
    QList<QStringList> processes;
    for (int i = 0; i < perSection; ++i) {
        windows.append(
            {QStringLiteral("*game %1 %2*").arg(QLatin1Char(variant)).arg(i), QStringLiteral("(1) Block")});
        processes.append(
            {QStringLiteral("prog%1%2").arg(QLatin1Char(variant)).arg(i), QStringLiteral("(3) Block")});
    }
    rules.windowRules().resetRows(windows);
    rules.processRules().resetRows(processes);
}

QByteArray fileBytes(const QString& path)
{
    const TextFile::BytesResult read = TextFile::readBytes(path);
    return read.ok ? read.bytes : QByteArray("<unreadable: ") + read.error.toUtf8() + '>';
}

// Runs work in a child process and waits for it to end.
int inChild(const std::function<int()>& work)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(work());
    int status = -1;
    if (pid > 0)
        ::waitpid(pid, &status, 0);
    return status;
}

// 500 times: starts a writer that rewrites for ever in a child and kills it at a random
// moment within three times the length of one write (measured on write(), so the kills
// fall across whole writes even where children are slow to start, as under sanitizers).
// After each kill, outcome() says whether the file holds the old or the new contents, and
// fails the test when it holds neither. Both must occur: the kills landed mid-write.
void killWhileWriting(const std::function<void()>& write, const std::function<void()>& rewrite,
    const std::function<bool(int)>& outcome)
{
    QElapsedTimer timer;
    timer.start();
    inChild([&] {
        write();
        return 0;
    });
    const int windowUs = 3 * int(std::max<qint64>(timer.nsecsElapsed() / 1000, 1000));
    QRandomGenerator random(20261206);
    int sawOld = 0;
    int sawNew = 0;
    for (int kill = 0; kill < 500 && !testing::Test::HasFailure(); ++kill) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (;;)
                rewrite();
        }
        ASSERT_GT(pid, 0);
        ::usleep(useconds_t(random.bounded(windowUs)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        (outcome(kill) ? sawNew : sawOld)++;
    }
    std::printf("500 kills: the old contents %d times, the new ones %d times\n", sawOld, sawNew);
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
}

class CrashSafeSave : public testing::Test
{
protected:
    SettingsStore store;
    MessageCatalogue catalogue {store, ProgramPaths(Sandbox::folder(), Sandbox::folder())};
    RuleSet oldRules;
    RuleSet newRules;
    RuleSetDocument oldDocument {oldRules, catalogue};
    RuleSetDocument newDocument {newRules, catalogue};
};

} // namespace

TEST_F(CrashSafeSave, DocumentKilledWhileSavingIsTheWholeOldOrTheWholeNew)
{
    fill(oldRules, 'a');
    fill(newRules, 'b');
    const QByteArray oldBytes = RuleSetDocument::documentText(oldRules).toUtf8();
    const QByteArray newBytes = RuleSetDocument::documentText(newRules).toUtf8();
    const QString path = Sandbox::folder() + QStringLiteral("/lab.Tollgate");
    ASSERT_EQ(oldDocument.SaveRuleSet(path), QString());
    killWhileWriting([&] { oldDocument.SaveRuleSet(path); },
        [&] {
            newDocument.SaveRuleSet(path);
            oldDocument.SaveRuleSet(path);
        },
        [&](int kill) {
            const QByteArray bytes = fileBytes(path);
            EXPECT_TRUE(bytes == oldBytes || bytes == newBytes)
                << "kill " << kill << " left " << bytes.size() << " bytes (old " << oldBytes.size()
                << ", new " << newBytes.size() << ")";
            return bytes == newBytes;
        });
    // The document still loads in full.
    RuleSet loaded;
    RuleSetDocument(loaded, catalogue).LoadRuleSet(path);
    EXPECT_EQ(loaded.windowRules().count() + loaded.processRules().count(), 10000);
}

TEST_F(CrashSafeSave, RegistryHiveKilledWhileWritingKeepsAWholeValue)
{
    const RegistryStore::Location location {Sandbox::folder() + QStringLiteral("/hives"), {}};
    RegistryStore registry(location);
    const auto value = [](char c) {
        return RegistryStore::Value {QStringLiteral("Data"), RegistryStore::Sz, QByteArray(200000, c) + '\0'};
    };
    const QString key = QStringLiteral("Software\\Tollgate\\Crash");
    ASSERT_EQ(registry.setValue(RegistryStore::CurrentUser, key, value('a')), 0);
    const QString hivePath = registry.userHivePath(RegistryStore::CurrentUser);
    // Each child is a writer of its own: it reads and parses the hive first.
    killWhileWriting([&] { RegistryStore(location).setValue(RegistryStore::CurrentUser, key, value('a')); },
        [&] {
            registry.setValue(RegistryStore::CurrentUser, key, value('b'));
            registry.setValue(RegistryStore::CurrentUser, key, value('a'));
        },
        [&](int kill) {
            const RegistryStore::HiveData data = RegistryStore::HiveData::parse(
                TextFile::decode(fileBytes(hivePath)), RegistryStore::CurrentUser);
            EXPECT_TRUE(data.problems.isEmpty())
                << "kill " << kill << ": " << data.problems.join(u' ').toStdString();
            const RegistryStore::Key* found = data.find(key);
            const QByteArray bytes
                = found && found->values.size() == 1 ? found->values.first().data : QByteArray();
            EXPECT_TRUE(bytes == value('a').data || bytes == value('b').data) << "kill " << kill;
            // A writer killed while taking the lock can leave a lock file that names nobody,
            // which blocks writers until it counts as stale (see the next test); no writer
            // lives now, so clear it at once and keep the kills landing in rewrites.
            QFile::remove(hivePath + QStringLiteral(".lock"));
            QFile::remove(hivePath + QStringLiteral(".lock.rmlock"));
            return bytes == value('b').data;
        });
}

TEST_F(CrashSafeSave, ALockFileLeftEmptyByAKilledWriterDoesNotBlockTheNextWrite)
{
    // Killed between creating the lock file and writing its pid: the lock names nobody.
    const RegistryStore::Location location {Sandbox::folder() + QStringLiteral("/empty-lock"), {}};
    RegistryStore registry(location);
    ASSERT_TRUE(QDir().mkpath(location.userFolder));
    QFile lock(registry.userHivePath(RegistryStore::CurrentUser) + QStringLiteral(".lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    EXPECT_EQ(registry.setValue(RegistryStore::CurrentUser, QStringLiteral("Software\\Tollgate"),
                  {QStringLiteral("Data"), RegistryStore::Sz, QByteArray("x\0", 2)}),
        0);
}

namespace {

// In a child: fills the folder's file system (a private tmpfs, or else a file size limit
// that makes writes fail the same way), then saves. Exit status 0: the save failed with a
// reason and the old files were intact; 77: no full disk could be made here.
int saveOntoFullDisk(const QString& folder, bool tmpfs, RuleSetDocument& bigDocument, RuleSetDocument& small)
{
    const QString path = folder + QStringLiteral("/lab.Tollgate");
    RegistryStore registry({folder + QStringLiteral("/hives"), {}});
    const QString key = QStringLiteral("Software\\Tollgate\\Full");
    const RegistryStore::Value oldValue {QStringLiteral("Data"), RegistryStore::Sz, QByteArray("old\0", 4)};
    if (tmpfs) {
        // Mounted in a mount namespace of this child's own, so it goes when the child does.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tollgate-full", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") != 0)
            return 77;
    } else {
        ::signal(SIGXFSZ, SIG_IGN);
    }
    if (!small.SaveRuleSet(path).isEmpty()
        || registry.setValue(RegistryStore::CurrentUser, key, oldValue) != 0)
        return 3;
    const QByteArray oldDocument = fileBytes(path);
    const QString hivePath = registry.userHivePath(RegistryStore::CurrentUser);
    const QByteArray oldHive = fileBytes(hivePath);
    if (tmpfs) {
        QFile filler(folder + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return 4;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) { }
    } else {
        const rlimit limit {64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const auto fault = [](const char* what) {
        std::fprintf(stderr, "%s\n", what);
        return 5;
    };
    const QString error = bigDocument.SaveRuleSet(path);
    std::fprintf(stderr, "the save said: %s\n", qPrintable(error));
    if (error.isEmpty())
        return fault("a save onto a full disk reported success");
    if (fileBytes(path) != oldDocument)
        return fault("the old document was changed");
    const RegistryStore::Value bigValue {
        QStringLiteral("Data"), RegistryStore::Sz, QByteArray(300000, 'n') + '\0'};
    if (registry.setValue(RegistryStore::CurrentUser, key, bigValue) == 0)
        return fault("a hive rewrite onto a full disk reported success");
    if (fileBytes(hivePath) != oldHive)
        return fault("the old hive file was changed");
    return 0;
}

} // namespace

TEST_F(CrashSafeSave, SaveOntoAFullDiskKeepsTheOldFilesAndSaysWhy)
{
    fill(newRules, 'b');
    fill(oldRules, 'a', 5);
    const QString folder = Sandbox::folder() + QStringLiteral("/full");
    ASSERT_TRUE(QDir().mkpath(folder));
    int status = inChild([&] { return saveOntoFullDisk(folder, true, newDocument, oldDocument); });
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        std::printf("no tmpfs could be mounted here: a file size limit made the writes fail instead\n");
        status = inChild([&] { return saveOntoFullDisk(folder, false, newDocument, oldDocument); });
    }
    ASSERT_TRUE(WIFEXITED(status)) << "the saving child died";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the child's message above";
}
