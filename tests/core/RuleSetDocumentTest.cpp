#include "store/RuleSetDocument.h"

#include "RuleSetFixture.h"
#include "common/WaitUntil.h"
#include "lang/ActionCodes.h"
#include "profile/TextFile.h"
#include "store/DocumentWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <tuple>

using namespace Tollgate;

namespace {

class RuleSetDocumentTest : public RuleSetFixture
{
protected:
    RuleSetDocument::LoadResult load(const QByteArray& contents)
    {
        return document.LoadRuleSet(Sandbox::writeFile(str("doc.Tollgate"), contents));
    }
    // One column of the window rules, joined by "|".
    QString windows(int c) const { return column(rules.windowRules(), c).join(u'|'); }
    // Everything a document holds, as the rule set has it now.
    auto contents() const
    {
        const RuleTable &w = rules.windowRules(), &p = rules.processRules();
        return std::tuple(column(w, 0), column(w, 1), column(p, 0), column(p, 1), column(p, 2),
            rules.blockMessage(), rules.timeoutMessage(), rules.idleTime(), rules.password());
    }
};

} // namespace

// Administrators' tools read and diff these bytes: the layout must not drift.
TEST_F(RuleSetDocumentTest, SaveWritesTheExactLayout)
{
    addWindowRule("*Game*");
    addWindowRule("\"Calc\"", "(2) Bring To Front");
    addProcessRule("xterm", "(2) Always Run", "/usr/bin/xterm -e top");
    rules.setBlockMessage(str("A\r\nB"));
    rules.setTimeoutMessage(str("T"));
    rules.setIdleTime(45);
    rules.setPassword(str("pw"));
    const QString path = sandboxPath("lab.Tollgate");
    ASSERT_EQ(document.SaveRuleSet(path), QString());
    EXPECT_EQ(Sandbox::readFile(path),
        QByteArray(
            "[Windows]\r\nUserMessage=A$vbcrlf$B\r\nCount=2\r\nCaption_1=*Game*\r\nAction_1=1\r\n"
            "Caption_2=\"\"Calc\"\"\r\nAction_2=2\r\n[Processes]\r\nUserMessage=T\r\nIdleTime=45\r\nCount="
            "1\r\n"
            "Process_1=xterm\r\nAction_1=2\r\nExe_1=/usr/bin/xterm -e top\r\n[General]\r\nPassword=pw\r\n"));
    EXPECT_FALSE(rules.changed());
    EXPECT_EQ(document.documentPath(), path);
    if (Sandbox::permissionBitsKept()) {
        EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0)
            << "a new document holds the password: owner only";
    }

    // An existing document keeps the permissions its owner gave it.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_EQ(document.SaveRuleSet(path), QString());
    EXPECT_EQ(QFileInfo(path).permissions() & QFile::ReadGroup, QFile::ReadGroup);
}

// Random rule sets whose texts survive a save (single-line values without blanks at either
// end, at most 254 characters) load back as they were saved; a new rule set in between
// leaves nothing of them.
TEST_F(RuleSetDocumentTest, RandomRuleSetsRoundTripAndANewRuleSetClearsThem)
{
    QRandomGenerator random(42);
    const auto text = [&random](int maxLength) {
        static const QString alphabet
            = QString::fromUtf8("abcXYZ019 *?#[]!-=;$\"'\u00e9\u00fc\u20ac\u4e2d\\/.");
        QString out;
        for (int i = random.bounded(maxLength + 1); i > 0; --i)
            out += alphabet.at(random.bounded(alphabet.size()));
        return out.trimmed();
    };
    const QString path = sandboxPath("random.Tollgate");
    for (int round = 0; round < 50; ++round) {
        QList<QStringList> windows, processes;
        for (int i = random.bounded(20); i > 0; --i)
            windows.append({text(40), WindowActionText(catalogue, random.bounded(3))});
        for (int i = random.bounded(20); i > 0; --i)
            processes.append({text(30), ProcessActionText(catalogue, random.bounded(4)), text(60)});
        rules.windowRules().resetRows(windows);
        rules.processRules().resetRows(processes);
        rules.setBlockMessage(text(20) + str("\r\n\r\n") + text(20));
        rules.setTimeoutMessage(text(50));
        rules.setIdleTime(30 + 5 * random.bounded(115));
        rules.setPassword(text(12));
        const auto saved = contents();
        ASSERT_EQ(document.SaveRuleSet(path), QString());
        rules.setChanged(true);
        const auto fresh = document.LoadRuleSet(QString());
        EXPECT_FALSE(fresh.fileRead || !fresh.warnings.isEmpty() || rules.changed());
        EXPECT_EQ(document.GetDocumentPath(), QString());
        EXPECT_EQ(contents(),
            (std::tuple(QStringList(), QStringList(), QStringList(), QStringList(), QStringList(),
                catalogue.MessageText(str("MSG_DEFAULT_BLOCK_MESSAGE")),
                catalogue.MessageText(str("MSG_DEFAULT_TIMEOUT_MESSAGE")), 30, QString())));
        const auto result = document.LoadRuleSet(path);
        ASSERT_TRUE(result.fileRead);
        EXPECT_TRUE(result.warnings.isEmpty()) << result.warnings.join(u'\n').toStdString();
        EXPECT_EQ(contents(), saved) << "round " << round;
    }
}

TEST_F(RuleSetDocumentTest, MissingAndOddRowEntries)
{
    const auto result = load("[Windows]\r\nCount=3\r\nCaption_1=a\r\nAction_1=7\r\nCaption_2=b\r\n"
                             "[Processes]\r\nCount=2\r\nProcess_1=p\r\nAction_1=x\r\nProcess_2=q\r\n");
    EXPECT_EQ(windows(RuleSet::WindowPattern), str("a|b|"));
    // Code 7 has no text; a missing window action stays empty; a missing process action is 0.
    EXPECT_EQ(windows(RuleSet::WindowAction), str("||"));
    EXPECT_EQ(column(rules.processRules(), RuleSet::ProcessAction).join(u'|'), str("|(0) Ignore"));
    EXPECT_EQ(result.warnings.size(), 3) << "code 7, x, and the missing action of \"b\"; row 3 is empty";

    // The next save writes the empty actions as Ignore.
    const QString path = sandboxPath("odd.Tollgate");
    ASSERT_EQ(document.SaveRuleSet(path), QString());
    EXPECT_TRUE(Sandbox::readFile(path).contains("Caption_2=b\r\nAction_2=0\r\n"));

    // Into a sorted list the rows take their sorted places.
    rules.windowRules().toggleSort(RuleSet::WindowPattern); // descending
    load("[Windows]\r\nCount=3\r\nCaption_1=b\r\nCaption_2=c\r\nCaption_3=a\r\n");
    EXPECT_EQ(windows(RuleSet::WindowPattern), str("c|b|a"));
}

// Counts and idle times as hand edits leave them; each row loads after the one above it.
TEST_F(RuleSetDocumentTest, CountsAndIdleTimesWithinBounds)
{
    constexpr int Max = RuleSetDocument::MaxRowsPerSection;
    // The document; then the window and process rows, the idle time and the warnings.
    using Case = std::tuple<const char*, int, int, int, int>;
    const Case cases[] = {
        {"[Windows]\r\nCount=-1\r\nCaption_1=a\r\n[Processes]\r\nCount=two\r\nProcess_1=p\r\n", 0, 0, 30, 1},
        {"[Windows]\r\nCount=99999999999999\r\n[Processes]\r\nCount=2147483648\r\n", Max, Max, 30, 2},
        {"[Windows]\r\nCount=1e9\r\n", 0, 0, 30, 1}, {"[Processes]\r\nIdleTime=120\r\n", 0, 0, 120, 0},
        {"[Processes]\r\nIdleTime=soon\r\n", 0, 0, 120, 1}, // the previous rule set's idle time remains
        {"[Processes]\r\nIdleTime=5\r\n", 0, 0, 30, 1}, {"[Processes]\r\nIdleTime=100000\r\n", 0, 0, 600, 1}};
    for (const auto& [text, windowRows, processRows, idleTime, warnings] : cases) {
        SCOPED_TRACE(str(text).replace(str("\r\n"), str(" | ")).toStdString());
        const auto result = load(text);
        EXPECT_EQ(rules.windowRules().count(), windowRows);
        EXPECT_EQ(rules.processRules().count(), processRows);
        EXPECT_EQ(rules.idleTime(), idleTime);
        EXPECT_EQ(result.warnings.size(), warnings) << result.warnings.join(u'\n').toStdString();
    }
}

// A save that cannot be made, and an INI write into a file that cannot be read, leave the
// old file and the changed flag as they were. Rights are met as an ordinary account meets
// them, also where the tests run as root (CI).
TEST_F(RuleSetDocumentTest, FailedWritesKeepTheOldFileAndTheChangedFlag)
{
    const QByteArray original = "[Windows]\r\nCount=1\r\nCaption_1=keep me\r\n";
    const QString path = Sandbox::writeFile(str("dir/keep.Tollgate"), original);
    document.LoadRuleSet(path);
    rules.setPassword(str("changed"));

    // A directory in the document's place cannot be replaced.
    const QString taken = sandboxPath("taken.Tollgate");
    QDir().mkpath(taken);
    EXPECT_NE(document.SaveRuleSet(taken), QString());
    EXPECT_TRUE(rules.changed());
    EXPECT_EQ(document.documentPath(), path) << "a failed save does not become the document";
    EXPECT_NE(document.SaveRuleSet(QString()), QString());

    const Sandbox::OrdinaryAccount ordinary;
    if (!ordinary.unavailableReason().isEmpty())
        GTEST_SKIP() << ordinary.unavailableReason().toStdString();
    // A folder where the new file cannot be created stands for a full disk or lost rights.
    const QString folder = QFileInfo(path).absolutePath();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_NE(document.SaveRuleSet(path), QString());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(Sandbox::readFile(path), original);
    EXPECT_TRUE(rules.changed());

    const QString ini = Sandbox::writeFile(str("locked.ini"), "[A]\r\nkeep=1\r\n");
    QFile::setPermissions(ini, QFile::WriteOwner);
    EXPECT_NE(store.WriteSetting(ini, str("A"), str("b"), str("S"), str("2")), 0);
    QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(Sandbox::readFile(ini), QByteArray("[A]\r\nkeep=1\r\n"));
}

TEST_F(RuleSetDocumentTest, DocumentsFromWindowsAndTheirLineBreakCodeLoad)
{
    // CR LF, Windows-1252, blanks around names and values as hand edits leave them.
    load("[Windows]\r\nUserMessage=Zugriff verweigert \x96 bitte$vbcrlf$Aufsicht$VBCRLF$\r\n Count = 1 \r\n"
         "Caption_1=*Solit\xE4r*\r\nAction_1=1\r\n[Processes]\r\nUserMessage=\r\n[General]\r\nPassword="
         "gr\xFCn\r\n");
    EXPECT_EQ(rules.blockMessage(), str("Zugriff verweigert \u2013 bitte\r\nAufsicht$VBCRLF$"))
        << "only the exact code is a line break";
    EXPECT_EQ(rules.timeoutMessage(), QString()) << "an empty message is a message";
    EXPECT_EQ(
        windows(RuleSet::WindowPattern) + windows(RuleSet::WindowAction), str("*Solit\u00e4r*(1) Block"));
    EXPECT_EQ(rules.password(), str("gr\u00fcn"));

    // A language file's default message may carry line breaks the same way.
    useLanguage("[Messages]\r\nMSG_DEFAULT_BLOCK_MESSAGE=Nein$vbcrlf$Nie\r\n");
    document.LoadRuleSet(QString());
    EXPECT_EQ(rules.blockMessage(), str("Nein\r\nNie"));
}

// Text that is not UTF-8 is in the system's code page where it has one: the Windows lane
// runs this again under Cyrillic Windows' (1251); elsewhere it is Windows-1252.
TEST_F(RuleSetDocumentTest, LegacyTextIsReadInTheSystemsCodePage)
{
    load("[General]\r\nPassword=\xCF\xE0\xF0\xEE\xEB\xFC\r\n");
    EXPECT_EQ(rules.password(),
        qgetenv("TOLLGATE_TEST_CODE_PAGE") == "1251" ? str("\u041f\u0430\u0440\u043e\u043b\u044c")
                                                     : str("\u00cf\u00e0\u00f0\u00ee\u00eb\u00fc"));
}

TEST_F(RuleSetDocumentTest, CorruptFilesLoadWithinBounds)
{
    // Random bytes are the fuzz target's; here, what is too large for it.
    EXPECT_TRUE(load(QByteArray()).fileRead);
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_TRUE(load(QByteArray(1 << 20, '[')).fileRead);
    EXPECT_TRUE(load("[Windows]\r\nCount=5\r\n" + QByteArray(1 << 20, '=')).fileRead);
    EXPECT_EQ(rules.windowRules().count(), 5);
    // The end of a large file is read too; a file past the limit is refused, with the reason.
    EXPECT_TRUE(load(QByteArray(1 << 20, '\n') + "[Windows]\r\nCount=4\r\n").fileRead);
    EXPECT_EQ(rules.windowRules().count(), 4);
    QFile huge(sandboxPath("huge.Tollgate"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(TextFile::MaxFileBytes + 1));
    const auto tooLarge = document.LoadRuleSet(huge.fileName());
    EXPECT_FALSE(tooLarge.fileRead);
    EXPECT_TRUE(tooLarge.error.contains(str("larger"))) << tooLarge.error.toStdString();
    EXPECT_EQ(document.documentPath(), QString()) << "a Save would write over the unread file";
}

// Each step is one new version of the document, or none: the watcher says so once, also after
// the file was replaced or deleted (which drops it from a file watch), and never for its
// neighbours in the folder.
TEST(DocumentWatcher, ReportsEachNewVersionOnceAndNothingElse)
{
    const QString path = Sandbox::writeFile(str("watched/doc.Tollgate"), "[Windows]\n");
    const auto inPlace = [&](const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::ReadWrite) && file.write(bytes) == bytes.size();
    };
    const auto replace = [](const QString& file, const char* bytes) {
        return TextFile::writeAtomically(file, bytes).isEmpty();
    };
    const QString other = path + str(".bak");
    const std::vector<std::tuple<const char*, std::function<bool()>, int>> steps = {
        {"written in place", [&] { return inPlace("[Processes]\n"); }, 1},
        {"replaced by a rename", [&] { return replace(path, "[General]\n"); }, 1},
        {"written in place once replaced", [&] { return inPlace("[Windows]\nCount=0\n"); }, 1},
        {"deleted", [&] { return QFile::remove(path); }, 1},
        {"created again", [&] { return replace(path, "[Windows]\n"); }, 1},
        {"written in place once created", [&] { return inPlace("[Processes]\nCount=0\n"); }, 1},
        {"neighbours changed",
            [&] { return replace(other, "x") && replace(other, "y") && QFile::remove(other); }, 0},
    };
    DocumentWatcher watcher(path);
    QSignalSpy changed(&watcher, &DocumentWatcher::changed);
    for (const auto& [name, step, expected] : steps) {
        changed.clear();
        ASSERT_TRUE(step()) << name;
        Tollgate::Test::waitProcessingEvents([&] { return changed.count() >= expected; });
        // As long again as the watcher waits for quiet, for a second signal that must not come.
        Tollgate::Test::waitProcessingEvents(
            [] { return false; }, std::chrono::milliseconds(5 * DocumentWatcher::QuietMs));
        EXPECT_EQ(changed.count(), expected) << name;
    }
}
