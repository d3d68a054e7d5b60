#include "store/DocumentCommands.h"

#include "RuleSetFixture.h"
#include "store/DocumentPrompts.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace Tollgate;

namespace {

using Answer = DocumentPrompts::Answer;

// Answers from queues that a test fills, and records what was asked.
class ScriptedPrompts : public DocumentPrompts
{
public:
    QStringList questions;
    std::deque<Answer> answers;
    QStringList errors;
    // "open" or "save", one per file dialog shown.
    QStringList fileDialogs;
    QStringList filters;
    // An empty name stands for a cancelled dialog.
    std::deque<QString> files;
    int busyDepth = 0;
    int busyCount = 0;

    Answer askYesNoCancel(const QString& text) override
    {
        questions.append(text);
        return nextScripted(answers, "question: " + text.toStdString(), Answer::Cancel);
    }
    void showError(const QString& text) override { errors.append(text); }
    QString chooseFileToOpen(const QString& filter) override { return choose("open", filter); }
    QString chooseFileToSave(const QString& filter) override { return choose("save", filter); }
    void setBusy(bool busy) override
    {
        busyDepth += busy ? 1 : -1;
        busyCount += busy ? 1 : 0;
    }

private:
    QString choose(const char* kind, const QString& filter)
    {
        fileDialogs.append(str(kind));
        filters.append(filter);
        return nextScripted(files, "file dialog");
    }
};

class DocumentCommandsTest : public RuleSetFixture
{
protected:
    const QString settingsChanged = str("The settings have been changed. Do you want to save changes?");

    ScriptedPrompts prompts;
    DocumentCommands commands {rules, document, catalogue, prompts};

    void TearDown() override
    {
        EXPECT_TRUE(prompts.answers.empty()) << "answers left over";
        EXPECT_TRUE(prompts.files.empty()) << "file names left over";
        EXPECT_EQ(prompts.busyDepth, 0) << "the busy pointer is always restored";
    }

    // A rule set with an unsaved change.
    void editSomething()
    {
        addWindowRule("*game*");
        rules.setChanged(true);
    }
};

} // namespace

TEST_F(DocumentCommandsTest, NewAsksOnlyWithUnsavedChangesAndHonoursEachAnswer)
{
    commands.NewFile();
    EXPECT_TRUE(prompts.questions.isEmpty()) << "nothing to lose, nothing asked";

    editSomething();
    prompts.answers = {Answer::Cancel};
    commands.NewFile();
    EXPECT_EQ(prompts.questions, QStringList {settingsChanged});
    EXPECT_EQ(rules.windowRules().count(), 1) << "Cancel keeps the rule set";
    EXPECT_TRUE(rules.changed());

    // Yes on a rule set that has no file yet asks for one; cancelling that stops New.
    prompts.answers = {Answer::Yes};
    prompts.files = {QString()};
    commands.NewFile();
    EXPECT_EQ(prompts.fileDialogs, QStringList {str("save")});
    EXPECT_EQ(rules.windowRules().count(), 1);
    EXPECT_TRUE(rules.changed());

    const QString target = sandboxPath("new-yes.Tollgate");
    prompts.answers = {Answer::Yes};
    prompts.files = {target};
    commands.NewFile();
    EXPECT_TRUE(Sandbox::readFile(target).contains("Caption_1=*game*")) << "saved before it was dropped";
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_FALSE(rules.changed());
    EXPECT_TRUE(document.GetDocumentPath().isEmpty()) << "a new rule set has no file";

    editSomething();
    prompts.answers = {Answer::No};
    commands.NewFile();
    EXPECT_EQ(rules.windowRules().count(), 0) << "No drops the changes";
    EXPECT_FALSE(rules.changed());
}

TEST_F(DocumentCommandsTest, OpenAsksFirstAndACancelledDialogKeepsEverything)
{
    const QString path = Sandbox::writeFile(str("open.Tollgate"),
        "[Windows]\r\nCount=1\r\nCaption_1=*chat*\r\nAction_1=2\r\n[Processes]\r\nCount=0\r\n");

    editSomething();
    prompts.answers = {Answer::No};
    prompts.files = {QString()};
    commands.OpenFile();
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(rules.windowRules().cell(1, RuleSet::WindowPattern), str("*game*"));
    EXPECT_TRUE(rules.changed()) << "a cancelled Open leaves the changes and their mark";

    prompts.answers = {Answer::Cancel};
    commands.OpenFile();
    EXPECT_EQ(prompts.fileDialogs.size(), 1) << "Cancel at the question shows no file dialog";

    prompts.answers = {Answer::No};
    prompts.files = {path};
    commands.OpenFile();
    EXPECT_EQ(rules.windowRules().count(), 1);
    EXPECT_EQ(rules.windowRules().cell(1, RuleSet::WindowAction), str("(2) Bring To Front"));
    EXPECT_FALSE(rules.changed());
    EXPECT_EQ(document.GetDocumentPath(), path);
    EXPECT_EQ(prompts.fileDialogs, (QStringList {str("open"), str("open")}));
    EXPECT_TRUE(prompts.filters.last().contains(str("*.Tollgate")));
    EXPECT_EQ(prompts.busyCount, 1) << "the busy pointer shows while the document is read";

    // A name typed into the dialog that names no file gives a new rule set of that name.
    const QString missing = sandboxPath("not-there.Tollgate");
    prompts.files = {missing};
    commands.OpenFile();
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_EQ(document.GetDocumentPath(), missing);
}

TEST_F(DocumentCommandsTest, SaveOnANeverSavedRuleSetActsAsSaveAs)
{
    addWindowRule("*solitaire*");
    const QString target = sandboxPath("typed-without-extension");
    prompts.files = {target};
    EXPECT_TRUE(commands.SaveFile(false));
    EXPECT_EQ(prompts.fileDialogs, QStringList {str("save")});
    EXPECT_TRUE(QFile::exists(target)) << "the name is taken exactly as typed";
    EXPECT_FALSE(QFile::exists(target + str(".Tollgate")));
    EXPECT_EQ(document.GetDocumentPath(), target);

    // Now it has a file: Save writes there without asking, Save As asks again.
    addWindowRule("*mines*");
    rules.setChanged(true);
    EXPECT_TRUE(commands.SaveFile(false));
    EXPECT_EQ(prompts.fileDialogs.size(), 1);
    EXPECT_TRUE(Sandbox::readFile(target).contains("Caption_2=*mines*"));
    EXPECT_FALSE(rules.changed());

    prompts.files = {QString()};
    rules.setChanged(true);
    EXPECT_FALSE(commands.SaveFile(true)) << "a cancelled Save As writes nothing";
    EXPECT_EQ(prompts.fileDialogs.size(), 2);
    EXPECT_TRUE(rules.changed());
}

TEST_F(DocumentCommandsTest, AFailedSaveSaysWhyAndKeepsTheChanges)
{
    editSomething();
    const QString target = sandboxPath("no-such-folder/rules.Tollgate");
    prompts.files = {target};
    EXPECT_FALSE(commands.SaveFile(false));
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].startsWith(
        str("The rule set could not be saved to ") + QDir::toNativeSeparators(target)))
        << prompts.errors[0].toStdString();
    EXPECT_FALSE(prompts.errors[0].contains(u'\n')) << "one line";
    EXPECT_TRUE(rules.changed());
    EXPECT_TRUE(document.GetDocumentPath().isEmpty()) << "a failed save names no file";

    // So the next Quit still asks, and a failing Yes keeps the program running.
    QSignalSpy ended(&commands, &DocumentCommands::endProgramRequested);
    prompts.answers = {Answer::Yes};
    prompts.files = {target};
    commands.EndProgram();
    EXPECT_EQ(ended.count(), 0);
}

TEST_F(DocumentCommandsTest, QuitAsksBeforeLosingChanges)
{
    QSignalSpy ended(&commands, &DocumentCommands::endProgramRequested);
    commands.EndProgram();
    EXPECT_EQ(ended.count(), 1) << "nothing unsaved: ends without a question";
    EXPECT_TRUE(prompts.questions.isEmpty());

    editSomething();
    prompts.answers = {Answer::Cancel};
    commands.EndProgram();
    EXPECT_EQ(ended.count(), 1);

    prompts.answers = {Answer::Yes};
    prompts.files = {QString()};
    commands.EndProgram();
    EXPECT_EQ(ended.count(), 1) << "Save As cancelled: the program stays";

    prompts.answers = {Answer::No};
    commands.EndProgram();
    EXPECT_EQ(ended.count(), 2);

    const QString target = sandboxPath("on-quit.Tollgate");
    prompts.answers = {Answer::Yes};
    prompts.files = {target};
    commands.EndProgram();
    EXPECT_EQ(ended.count(), 3);
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_FALSE(rules.changed());
}
