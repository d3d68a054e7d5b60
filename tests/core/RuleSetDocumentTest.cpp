#include "store/RuleSetDocument.h"

#include "RuleSetFixture.h"
#include "store/IniDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

using namespace Tollgate;

namespace {

class RuleSetDocumentTest : public RuleSetFixture
{
protected:
    RuleSetDocument::LoadResult load(const QByteArray& contents)
    {
        return document.LoadRuleSet(Sandbox::writeFile(str("doc.Tollgate"), contents));
    }
    QString windowCell(int n, int c) const { return rules.windowRules().cell(n, c); }
    QString processCell(int n, int c) const { return rules.processRules().cell(n, c); }
};

// Fills a rule set with random rules whose texts survive a save: single-line values
// without blanks at either end, at most 254 characters.
void randomRules(RuleSet& rules, QRandomGenerator& random)
{
    auto text = [&random](int maxLength) {
        static const QString alphabet = QString::fromUtf8("abcXYZ019 *?#[]!-=;$\u00e9\u00fc\u20ac\u4e2d\\/.");
        QString out;
        const int length = random.bounded(maxLength + 1);
        for (int i = 0; i < length; ++i)
            out += alphabet.at(random.bounded(alphabet.size()));
        return out.trimmed();
    };
    const QString actions[] = {str("(0) Ignore"), str("(1) Block"), str("(2) Bring To Front")};
    const QString processActions[] = {str("(0) Ignore"), str("(1) Close Process when Computer is Idle"),
        str("(2) Always Run"), str("(3) Block")};
    QList<QStringList> windows;
    for (int i = random.bounded(20); i > 0; --i)
        windows.append({text(40), actions[random.bounded(3)]});
    rules.windowRules().resetRows(windows);
    QList<QStringList> processes;
    for (int i = random.bounded(20); i > 0; --i)
        processes.append({text(30), processActions[random.bounded(4)], text(60)});
    rules.processRules().resetRows(processes);
    rules.setBlockMessage(text(20) + str("\r\n\r\n") + text(20));
    rules.setTimeoutMessage(text(50));
    rules.setIdleTime(30 + 5 * random.bounded(115));
    rules.setPassword(text(12));
}

QList<QStringList> rows(const RuleTable& table, int columns)
{
    QList<QStringList> out;
    for (int n = 1; n <= table.count(); ++n) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row.append(table.cell(n, c));
        out.append(row);
    }
    return out;
}

} // namespace

TEST_F(RuleSetDocumentTest, NewRuleSet)
{
    rules.windowRules().appendRow({str("x")});
    rules.setIdleTime(200);
    rules.setChanged(true);
    const auto result = document.LoadRuleSet(QString());
    EXPECT_FALSE(result.fileRead);
    EXPECT_TRUE(result.warnings.isEmpty());
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_EQ(rules.processRules().count(), 0);
    EXPECT_EQ(rules.idleTime(), 30);
    EXPECT_EQ(rules.password(), QString());
    EXPECT_EQ(rules.blockMessage(), catalogue.MessageText(str("MSG_DEFAULT_BLOCK_MESSAGE")));
    EXPECT_EQ(rules.timeoutMessage(), catalogue.MessageText(str("MSG_DEFAULT_TIMEOUT_MESSAGE")));
    EXPECT_EQ(document.GetDocumentPath(), QString());
    EXPECT_FALSE(rules.changed());

    // A path that names no file gives a new rule set, but becomes the document's path.
    const QString missing = sandboxPath("missing.Tollgate");
    document.LoadRuleSet(missing);
    EXPECT_EQ(document.documentPath(), missing);
}

TEST_F(RuleSetDocumentTest, SaveWritesTheExactLayout)
{
    rules.windowRules().appendRow({str("*Game*"), str("(1) Block")});
    rules.windowRules().appendRow({str("Calc"), str("(2) Bring To Front")});
    rules.processRules().appendRow({str("xterm"), str("(2) Always Run"), str("/usr/bin/xterm -e top")});
    rules.setBlockMessage(str("A\r\nB"));
    rules.setTimeoutMessage(str("T"));
    rules.setIdleTime(45);
    rules.setPassword(str("pw"));
    const QString path = sandboxPath("lab.Tollgate");
    ASSERT_EQ(document.SaveRuleSet(path), QString());
    EXPECT_EQ(Sandbox::readFile(path),
        QByteArray(
            "[Windows]\r\nUserMessage=A$vbcrlf$B\r\nCount=2\r\nCaption_1=*Game*\r\nAction_1=1\r\n"
            "Caption_2=Calc\r\nAction_2=2\r\n[Processes]\r\nUserMessage=T\r\nIdleTime=45\r\nCount=1\r\n"
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

TEST_F(RuleSetDocumentTest, FastLayoutEqualsEntryByEntryWrites)
{
    QRandomGenerator random(7);
    for (int round = 0; round < 20; ++round) {
        randomRules(rules, random);
        IniDocument entryByEntry;
        // Replay the writes in their order into an empty file, as the profile service would.
        const QString text = RuleSetDocument::documentText(rules);
        QString section;
        for (const QString& line : text.split(str("\r\n"), Qt::SkipEmptyParts)) {
            if (line.startsWith(u'[')) {
                section = line.mid(1, line.size() - 2);
                continue;
            }
            const qsizetype eq = line.indexOf(u'=');
            entryByEntry.setValue(section, line.left(eq), line.mid(eq + 1));
        }
        EXPECT_EQ(entryByEntry.toText(), text);
    }
}

TEST_F(RuleSetDocumentTest, RandomRuleSetsRoundTrip)
{
    QRandomGenerator random(42);
    const QString path = sandboxPath("random.Tollgate");
    for (int round = 0; round < 50; ++round) {
        randomRules(rules, random);
        const auto windows = rows(rules.windowRules(), 2);
        const auto processes = rows(rules.processRules(), 3);
        const QString block = rules.blockMessage();
        const QString timeout = rules.timeoutMessage();
        const int idle = rules.idleTime();
        const QString password = rules.password();
        ASSERT_EQ(document.SaveRuleSet(path), QString());
        document.LoadRuleSet(QString());
        const auto result = document.LoadRuleSet(path);
        ASSERT_TRUE(result.fileRead);
        EXPECT_TRUE(result.warnings.isEmpty()) << result.warnings.join(u'\n').toStdString();
        EXPECT_EQ(rows(rules.windowRules(), 2), windows);
        EXPECT_EQ(rows(rules.processRules(), 3), processes);
        EXPECT_EQ(rules.blockMessage(), block);
        EXPECT_EQ(rules.timeoutMessage(), timeout);
        EXPECT_EQ(rules.idleTime(), idle);
        EXPECT_EQ(rules.password(), password);
    }
}

TEST_F(RuleSetDocumentTest, MessagesAndTheirLineBreakCode)
{
    load("[Windows]\r\nUserMessage=A$vbcrlf$B$VBCRLF$C\r\n[Processes]\r\nUserMessage=\r\n");
    EXPECT_EQ(rules.blockMessage(), str("A\r\nB$VBCRLF$C")) << "only the exact code is a line break";
    EXPECT_EQ(rules.timeoutMessage(), QString()) << "an empty message is a message";

    // A language file's default message may carry line breaks the same way.
    useLanguage("[Messages]\r\nMSG_DEFAULT_BLOCK_MESSAGE=Nein$vbcrlf$Nie\r\n");
    document.LoadRuleSet(QString());
    EXPECT_EQ(rules.blockMessage(), str("Nein\r\nNie"));
}

TEST_F(RuleSetDocumentTest, MissingAndOddRowEntries)
{
    const auto result = load("[Windows]\r\nCount=3\r\nCaption_1=a\r\nAction_1=7\r\nCaption_2=b\r\n"
                             "[Processes]\r\nCount=2\r\nProcess_1=p\r\nAction_1=x\r\nProcess_2=q\r\n");
    ASSERT_EQ(rules.windowRules().count(), 3);
    EXPECT_EQ(windowCell(1, RuleSet::WindowAction), QString()) << "code 7 has no text";
    EXPECT_EQ(windowCell(2, RuleSet::WindowAction), QString()) << "a missing window action stays empty";
    EXPECT_EQ(windowCell(3, RuleSet::WindowPattern), QString());
    EXPECT_EQ(processCell(1, RuleSet::ProcessAction), QString()) << "not a number";
    EXPECT_EQ(processCell(2, RuleSet::ProcessAction), str("(0) Ignore")) << "a missing process action is 0";
    EXPECT_EQ(result.warnings.size(), 3) << "code 7, x, and the missing action of \"b\"; row 3 is empty";

    // The next save writes the empty actions as Ignore.
    const QString path = sandboxPath("odd.Tollgate");
    ASSERT_EQ(document.SaveRuleSet(path), QString());
    EXPECT_TRUE(Sandbox::readFile(path).contains("Caption_2=b\r\nAction_2=0\r\n"));
}

TEST_F(RuleSetDocumentTest, CountsWithinBounds)
{
    load("[Windows]\r\nCount=-1\r\nCaption_1=a\r\n[Processes]\r\nCount=two\r\nProcess_1=p\r\n");
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_EQ(rules.processRules().count(), 0) << "a count that is not a whole number yields no rows";

    const auto huge = load("[Windows]\r\nCount=99999999999999\r\n[Processes]\r\nCount=2147483648\r\n");
    EXPECT_EQ(rules.windowRules().count(), RuleSetDocument::MaxRowsPerSection);
    EXPECT_EQ(rules.processRules().count(), RuleSetDocument::MaxRowsPerSection);
    EXPECT_EQ(huge.warnings.size(), 2);
    EXPECT_EQ(load("[Windows]\r\nCount=1e9\r\n").warnings.size(), 1);
    EXPECT_EQ(rules.windowRules().count(), 0);
}

TEST_F(RuleSetDocumentTest, IdleTimeIsLimitedOrKept)
{
    load("[Processes]\r\nIdleTime=120\r\n");
    EXPECT_EQ(rules.idleTime(), 120);
    const auto bad = load("[Processes]\r\nIdleTime=soon\r\n");
    EXPECT_EQ(rules.idleTime(), 120) << "the previous rule set's idle time remains";
    EXPECT_EQ(bad.warnings.size(), 1);
    load("[Processes]\r\nIdleTime=5\r\n");
    EXPECT_EQ(rules.idleTime(), 30);
    load("[Processes]\r\nIdleTime=100000\r\n");
    EXPECT_EQ(rules.idleTime(), 600);
}

TEST_F(RuleSetDocumentTest, FailedSaveKeepsTheOldDocumentAndTheChangedFlag)
{
    const QByteArray original = "[Windows]\r\nCount=1\r\nCaption_1=keep me\r\n";
    const QString path = Sandbox::writeFile(str("dir/keep.Tollgate"), original);
    document.LoadRuleSet(path);
    rules.setPassword(str("changed"));
    // A folder where the new file cannot be created stands for a full disk or lost rights.
    const QString folder = QFileInfo(path).absolutePath();
    if (Sandbox::permissionsBind()) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_NE(document.SaveRuleSet(path), QString());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(Sandbox::readFile(path), original);
        EXPECT_TRUE(rules.changed());
    }
    // A directory in the document's place cannot be replaced.
    const QString taken = sandboxPath("taken.Tollgate");
    QDir().mkpath(taken);
    EXPECT_NE(document.SaveRuleSet(taken), QString());
    EXPECT_TRUE(rules.changed());
    EXPECT_EQ(document.documentPath(), path) << "a failed save does not become the document";
    EXPECT_NE(document.SaveRuleSet(QString()), QString());
}

TEST_F(RuleSetDocumentTest, DocumentsFromWindowsLoad)
{
    // CR LF, Windows-1252, blanks around names and values as hand edits leave them.
    load("[Windows]\r\nUserMessage=Zugriff verweigert \x96 bitte wenden Sie sich an die Aufsicht\r\n"
         " Count = 1 \r\nCaption_1=*Solit\xE4r*\r\nAction_1=1\r\n[General]\r\nPassword=gr\xFCn\r\n");
    EXPECT_EQ(rules.blockMessage(), str("Zugriff verweigert \u2013 bitte wenden Sie sich an die Aufsicht"));
    EXPECT_EQ(windowCell(1, RuleSet::WindowPattern), str("*Solit\u00e4r*"));
    EXPECT_EQ(windowCell(1, RuleSet::WindowAction), str("(1) Block"));
    EXPECT_EQ(rules.password(), str("gr\u00fcn"));
}

TEST_F(RuleSetDocumentTest, CorruptFilesLoadWithinBounds)
{
    QByteArray binary;
    QRandomGenerator random(3);
    for (int i = 0; i < 100000; ++i)
        binary.append(static_cast<char>(random.bounded(256)));
    EXPECT_TRUE(load(binary).fileRead);
    EXPECT_TRUE(load(QByteArray()).fileRead);
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_TRUE(load(QByteArray(1 << 20, '[')).fileRead);
    EXPECT_TRUE(load("[Windows]\r\nCount=5\r\n" + QByteArray(1 << 20, '=')).fileRead);
    EXPECT_EQ(rules.windowRules().count(), 5);

    const QString folder = sandboxPath("a-folder");
    QDir().mkpath(folder);
    const auto result = document.LoadRuleSet(folder);
    EXPECT_FALSE(result.fileRead);
    EXPECT_FALSE(result.error.isEmpty());
}

TEST_F(RuleSetDocumentTest, LoadsIntoASortedList)
{
    rules.windowRules().toggleSort(RuleSet::WindowPattern); // descending
    load("[Windows]\r\nCount=3\r\nCaption_1=b\r\nCaption_2=c\r\nCaption_3=a\r\n");
    EXPECT_EQ(windowCell(1, 0), str("c"));
    EXPECT_EQ(windowCell(3, 0), str("a"));
}
