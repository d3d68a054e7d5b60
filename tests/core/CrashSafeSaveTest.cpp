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

constexpr int Kills = 500;

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

// Runs work in a child process, kills it at a random moment and returns once it is gone.
void killDuring(const std::function<void()>& work, int maxDelayUs, QRandomGenerator& random)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    ASSERT_GT(pid, 0);
    ::usleep(useconds_t(random.bounded(maxDelayUs)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// Microseconds one call takes, so that the kills fall across the whole of a save.
int durationUs(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return int(std::max<qint64>(timer.nsecsElapsed() / 1000, 1000));
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
    QRandomGenerator random {20261206};
};

} // namespace

TEST_F(CrashSafeSave, DocumentKilledWhileSavingIsTheWholeOldOrTheWholeNew)
{
    fill(oldRules, 'a');
    fill(newRules, 'b');
    const QByteArray oldBytes = RuleSetDocument::documentText(oldRules).toUtf8();
    const QByteArray newBytes = RuleSetDocument::documentText(newRules).toUtf8();
    const QString path = Sandbox::folder() + QStringLiteral("/lab.Tollgate");
    const int saveUs = durationUs([&] { ASSERT_EQ(oldDocument.SaveRuleSet(path), QString()); });

    int sawOld = 0;
    int sawNew = 0;
    for (int i = 0; i < Kills; ++i) {
        killDuring(
            [&] {
                for (;;) {
                    newDocument.SaveRuleSet(path);
                    oldDocument.SaveRuleSet(path);
                }
            },
            3 * saveUs, random);
        const QByteArray bytes = fileBytes(path);
        ASSERT_TRUE(bytes == oldBytes || bytes == newBytes)
            << "kill " << i << " left " << bytes.size() << " bytes (old " << oldBytes.size() << ", new "
            << newBytes.size() << ")";
        (bytes == oldBytes ? sawOld : sawNew)++;
    }
    std::printf("%d kills: the old document %d times, the new one %d times\n", Kills, sawOld, sawNew);
    // Both outcomes occurred, so the kills did land in the middle of the saving.
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
    // The document still loads in full.
    RuleSet loaded;
    RuleSetDocument reader(loaded, catalogue);
    reader.LoadRuleSet(path);
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
    // A whole rewrite in a new child (it reads and parses the hive first), so that the
    // kills fall across it even where children are slow to start (sanitizers).
    const int writeUs = durationUs([&] {
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(RegistryStore(location).setValue(RegistryStore::CurrentUser, key, value('a')));
        ::waitpid(pid, nullptr, 0);
    });

    int sawA = 0;
    int sawB = 0;
    for (int i = 0; i < Kills; ++i) {
        killDuring(
            [&] {
                RegistryStore writer(location);
                for (;;) {
                    writer.setValue(RegistryStore::CurrentUser, key, value('b'));
                    writer.setValue(RegistryStore::CurrentUser, key, value('a'));
                }
            },
            3 * writeUs, random);
        const RegistryStore::HiveData data = RegistryStore::HiveData::parse(
            TextFile::decode(fileBytes(hivePath)), RegistryStore::CurrentUser);
        ASSERT_TRUE(data.problems.isEmpty())
            << "kill " << i << ": " << data.problems.join(u' ').toStdString();
        const RegistryStore::Key* found = data.find(key);
        ASSERT_NE(found, nullptr) << "kill " << i;
        ASSERT_EQ(found->values.size(), 1);
        const QByteArray& bytes = found->values.first().data;
        ASSERT_TRUE(bytes == value('a').data || bytes == value('b').data) << "kill " << i;
        (bytes == value('a').data ? sawA : sawB)++;
        // A writer killed while taking the lock can leave a lock file that names nobody,
        // which blocks writers until it counts as stale (see the next test); no writer
        // lives now, so clear it at once and keep the kills landing in rewrites.
        QFile::remove(hivePath + QStringLiteral(".lock"));
        QFile::remove(hivePath + QStringLiteral(".lock.rmlock"));
    }
    std::printf("%d kills: the old value %d times, the new one %d times\n", Kills, sawA, sawB);
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
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
    const QString error = bigDocument.SaveRuleSet(path);
    if (error.isEmpty()) {
        std::fprintf(stderr, "a save onto a full disk reported success\n");
        return 5;
    }
    std::fprintf(stderr, "the save said: %s\n", qPrintable(error));
    if (fileBytes(path) != oldDocument) {
        std::fprintf(stderr, "the old document was changed\n");
        return 6;
    }
    const RegistryStore::Value bigValue {
        QStringLiteral("Data"), RegistryStore::Sz, QByteArray(300000, 'n') + '\0'};
    if (registry.setValue(RegistryStore::CurrentUser, key, bigValue) == 0) {
        std::fprintf(stderr, "a hive rewrite onto a full disk reported success\n");
        return 7;
    }
    if (fileBytes(hivePath) != oldHive) {
        std::fprintf(stderr, "the old hive file was changed\n");
        return 8;
    }
    return 0;
}

} // namespace

TEST_F(CrashSafeSave, SaveOntoAFullDiskKeepsTheOldFilesAndSaysWhy)
{
    fill(newRules, 'b');
    fill(oldRules, 'a', 5);
    const QString folder = Sandbox::folder() + QStringLiteral("/full");
    ASSERT_TRUE(QDir().mkpath(folder));
    int status = 0;
    bool usedTmpfs = true;
    for (const bool tmpfs : {true, false}) {
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(saveOntoFullDisk(folder, tmpfs, newDocument, oldDocument));
        ASSERT_GT(pid, 0);
        ::waitpid(pid, &status, 0);
        usedTmpfs = tmpfs;
        if (!(WIFEXITED(status) && WEXITSTATUS(status) == 77))
            break;
    }
    if (!usedTmpfs)
        std::printf("no tmpfs could be mounted here: a file size limit made the writes fail instead\n");
    ASSERT_TRUE(WIFEXITED(status)) << "the saving child died";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the child's message above";
}
