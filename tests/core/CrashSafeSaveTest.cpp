// Saves that die half-way and saves onto a full disk: the rule-set document and the
// registry hive files are always either the complete old or the complete new contents.
#include "common/TestEnvironment.h"
#include "lang/MessageCatalogue.h"
#include "profile/TextFile.h"
#include "store/RegistryStore.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"

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
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tollgate;

namespace {

const QString key = QStringLiteral("Software\\Tollgate\\Crash");

// perSection window and process rules, their texts marked with the variant.
void fill(RuleSet& rules, char variant, int perSection)
{
    QList<QStringList> windows, processes;
    for (int i = 0; i < perSection; ++i) {
        const QString text = QStringLiteral("game %1 %2").arg(QLatin1Char(variant)).arg(i);
        windows.append({text, QStringLiteral("(1) Block")});
        processes.append({text, QStringLiteral("(3) Block")});
    }
    rules.windowRules().resetRows(windows);
    rules.processRules().resetRows(processes);
}

qint32 setHiveValue(RegistryStore& hives, const QByteArray& data)
{
    return hives.setValue(RegistryStore::CurrentUser, key, {QStringLiteral("Data"), RegistryStore::Sz, data});
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
    return pid > 0 && ::waitpid(pid, &status, 0) == pid ? status : -1;
}

// In a child: fills the folder's file system (a private tmpfs, or else a file size limit
// that makes writes fail the same way), then saves. Exit status 0: the save failed with a
// reason and the old files were intact; 77: no full disk could be made here.
int saveOntoFullDisk(const QString& folder, bool tmpfs, RuleSetDocument& big, RuleSetDocument& small)
{
    // Mounted in a mount namespace of this child's own, so it goes when the child does.
    if (tmpfs
        && (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tollgate-full", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") != 0))
        return 77;
    const QString path = folder + QStringLiteral("/lab.Tollgate");
    RegistryStore registry({folder, {}});
    if (!small.SaveRuleSet(path).isEmpty() || setHiveValue(registry, QByteArray("old\0", 4)) != 0)
        return 3;
    const QString hivePath = registry.userHivePath(RegistryStore::CurrentUser);
    const QByteArray oldDocument = fileBytes(path), oldHive = fileBytes(hivePath);
    if (tmpfs) {
        QFile filler(folder + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return 4;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) { }
    } else {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit {64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const QString error = big.SaveRuleSet(path);
    std::fprintf(stderr, "the save said: %s\n", qPrintable(error));
    const char* const fault = error.isEmpty() ? "a save onto a full disk reported success"
        : fileBytes(path) != oldDocument      ? "the old document was changed"
        : setHiveValue(registry, QByteArray(300000, 'n')) == 0
        ? "a hive rewrite onto a full disk reported success"
        : fileBytes(hivePath) != oldHive ? "the old hive file was changed"
                                         : nullptr;
    if (fault)
        std::fprintf(stderr, "%s\n", fault);
    return fault ? 5 : 0;
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

// 500 times: a child rewrites the document and a hive value for ever and is killed at a
// random moment within three times the length of one rewrite (measured on a rewrite in a
// child, so the kills fall across whole writes even where children are slow to start, as
// under sanitizers). Each file then holds the whole old or the whole new contents, and
// both occur for each: the kills landed mid-write.
TEST_F(CrashSafeSave, DocumentAndHiveKilledWhileWritingAreTheWholeOldOrTheWholeNew)
{
    fill(oldRules, 'a', 5000);
    fill(newRules, 'b', 5000);
    const QByteArray oldBytes = RuleSetDocument::documentText(oldRules).toUtf8();
    const QByteArray newBytes = RuleSetDocument::documentText(newRules).toUtf8();
    const QString path = Sandbox::folder() + QStringLiteral("/lab.Tollgate");
    const RegistryStore::Location location {Sandbox::folder() + QStringLiteral("/hives"), {}};
    RegistryStore registry(location);
    const auto data = [](char c) { return QByteArray(200000, c) + '\0'; };
    ASSERT_EQ(oldDocument.SaveRuleSet(path), QString());
    ASSERT_EQ(setHiveValue(registry, data('a')), 0);
    const QString hivePath = registry.userHivePath(RegistryStore::CurrentUser);

    QElapsedTimer timer;
    timer.start();
    // Each child is a hive writer of its own: it reads and parses the hive first.
    inChild([&] {
        oldDocument.SaveRuleSet(path);
        RegistryStore fresh(location);
        return setHiveValue(fresh, data('a'));
    });
    const int windowUs = 3 * int(std::max<qint64>(timer.nsecsElapsed() / 1000, 1000));
    QRandomGenerator random(20261206);
    int sawDocument[2] = {}, sawHive[2] = {}; // the old contents, the new ones
    for (int kill = 0; kill < 500 && !HasFailure(); ++kill) {
        const pid_t pid = ::fork();
        if (pid == 0)
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        while (pid == 0) {
            newDocument.SaveRuleSet(path);
            setHiveValue(registry, data('b'));
            oldDocument.SaveRuleSet(path);
            setHiveValue(registry, data('a'));
        }
        ASSERT_GT(pid, 0);
        ::usleep(useconds_t(random.bounded(windowUs)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        const QByteArray bytes = fileBytes(path);
        EXPECT_TRUE(bytes == oldBytes || bytes == newBytes)
            << "kill " << kill << " left " << bytes.size() << " bytes";
        const RegistryStore::HiveData hive = RegistryStore::HiveData::parse(
            TextFile::decode(fileBytes(hivePath)), RegistryStore::CurrentUser);
        EXPECT_TRUE(hive.problems.isEmpty())
            << "kill " << kill << ": " << hive.problems.join(u' ').toStdString();
        const RegistryStore::Key* found = hive.find(key);
        const QByteArray value
            = found && found->values.size() == 1 ? found->values.first().data : QByteArray();
        EXPECT_TRUE(value == data('a') || value == data('b')) << "kill " << kill;
        ++sawDocument[bytes == newBytes];
        ++sawHive[value == data('b')];
        // A writer killed while taking the lock can leave a lock file that names nobody,
        // which blocks writers until it counts as stale (see the next test); no writer
        // lives now, so clear it at once and keep the kills landing in rewrites.
        QFile::remove(hivePath + QStringLiteral(".lock"));
        QFile::remove(hivePath + QStringLiteral(".lock.rmlock"));
    }
    std::printf("500 kills: the old document %d times, the new one %d times; the old hive value %d times, "
                "the new one %d times\n",
        sawDocument[0], sawDocument[1], sawHive[0], sawHive[1]);
    for (const int saw : {sawDocument[0], sawDocument[1], sawHive[0], sawHive[1]})
        EXPECT_GT(saw, 0);
    // The document still loads in full.
    RuleSet loaded;
    RuleSetDocument(loaded, catalogue).LoadRuleSet(path);
    EXPECT_EQ(loaded.windowRules().count() + loaded.processRules().count(), 10000);
}

TEST_F(CrashSafeSave, ALockFileLeftEmptyByAKilledWriterDoesNotBlockTheNextWrite)
{
    // Killed between creating the lock file and writing its pid: the lock names nobody.
    RegistryStore registry({Sandbox::folder(), {}});
    Sandbox::writeFile(
        QFileInfo(registry.userHivePath(RegistryStore::CurrentUser)).fileName() + QStringLiteral(".lock"),
        {});
    EXPECT_EQ(setHiveValue(registry, QByteArray("x\0", 2)), 0);
}

TEST_F(CrashSafeSave, SaveOntoAFullDiskKeepsTheOldFilesAndSaysWhy)
{
    fill(newRules, 'b', 5000);
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
