#include "store/DocumentCommands.h"

#include "RuleSetFixture.h"
#include "common/DocumentBuilder.h"
#include "store/DocumentPrompts.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <tuple>

using namespace Tollgate;

namespace {

using Answer = DocumentPrompts::Answer;
using DocumentCommandsTest = RuleSetFixture;

// Plays a dialogue such as "ask:Yes save:a.Tollgate busy": each question ("ask") and file
// dialog ("open", "save") takes the answer after its colon ("-" cancels a dialog), and
// the busy pointer ("busy") and error notices ("error") are logged as shown.
class ScriptedPrompts : public DocumentPrompts
{
public:
    QStringList answers, log;
    QString error;
    int busy = 0;

    explicit ScriptedPrompts(const QString& dialogue)
        : answers(dialogue.split(u' ', Qt::SkipEmptyParts).filter(str(":")))
    { }
    ~ScriptedPrompts() override
    {
        EXPECT_TRUE(answers.isEmpty()) << "left over: " << answers.join(u' ').toStdString();
        EXPECT_EQ(busy, 0) << "the busy pointer is always restored";
    }
    Answer askYesNoCancel(const QString& text) override
    {
        EXPECT_EQ(text, str("The settings have been changed. Do you want to save changes?"));
        const QString answer = next("ask");
        return answer == str("Yes") ? Answer::Yes : answer == str("No") ? Answer::No : Answer::Cancel;
    }
    void showError(const QString& text) override
    {
        log.append(str("error"));
        error = text;
    }
    QString chooseFileToOpen(const QString& filter) override { return file(next("open"), filter); }
    QString chooseFileToSave(const QString& filter) override { return file(next("save"), filter); }
    void setBusy(bool on) override
    {
        busy += on ? 1 : -1;
        if (on)
            log.append(str("busy"));
    }

private:
    QString next(const char* what)
    {
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst().section(u':', 1);
        log.append(str(what) + u':' + answer);
        return answer;
    }
    static QString file(const QString& name, const QString& filter)
    {
        EXPECT_TRUE(filter.contains(str("(*.Tollgate)"))) << filter.toStdString();
        return name == str("-") || name.isEmpty() ? QString() : Sandbox::folder() + u'/' + name;
    }
};

} // namespace

// Every command on a rule set with an unsaved change: the save question guards New, Open
// and Quit; Cancel, and a Yes whose save is cancelled or fails, keep the rule set and its
// mark of changes. Save asks for a name only when there is none yet or for Save As; with a
// file of its own it writes there without asking.
TEST_F(DocumentCommandsTest, EveryCommandHonoursEveryAnswer)
{
    enum Command { New, Open, Quit, Save, SaveAs, SaveOwn };
    Tollgate::Test::DocumentBuilder()
        .window(str("*chat*"), str("(2) Bring To Front"))
        .write(str("open.Tollgate"));
    QDir().mkpath(sandboxPath("a-folder.Tollgate"));
    // After the command: the rule set's patterns, its document, its mark of changes and,
    // for Quit and Save, whether the program ends or the save succeeded.
    using Case = std::tuple<Command, const char*, const char*, const char*, bool, bool>;
    const Case cases[] = {{New, "ask:Cancel", "*game*", "", true, false},
        {New, "ask:Yes save:-", "*game*", "", true, false},
        {New, "ask:Yes save:new.Tollgate busy", "", "", false, true}, {New, "ask:No", "", "", false, true},
        {Open, "ask:Cancel", "*game*", "", true, false}, {Open, "ask:No open:-", "*game*", "", true, false},
        {Open, "ask:No open:open.Tollgate busy", "*chat*", "open.Tollgate", false, true},
        {Open, "ask:Yes save:b.Tollgate busy open:open.Tollgate busy", "*chat*", "open.Tollgate", false,
            true},
        {Open, "ask:No open:not-there.Tollgate busy", "", "not-there.Tollgate", false,
            true}, // a new rule set
        // Unreadable: what was shown stays, so a Save cannot write over the unread file.
        {Open, "ask:No open:a-folder.Tollgate busy error", "*game*", "", true, true},
        {Quit, "ask:Cancel", "*game*", "", true, false}, {Quit, "ask:Yes save:-", "*game*", "", true, false},
        {Quit, "ask:Yes save:no-such-folder/c.Tollgate busy error", "*game*", "", true, false},
        {Quit, "ask:No", "*game*", "", true, true},
        {Quit, "ask:Yes save:quit.Tollgate busy", "*game*", "quit.Tollgate", false, true},
        {Save, "save:typed-without-extension busy", "*game*", "typed-without-extension", false, true},
        {Save, "save:no-such-folder/d.Tollgate busy error", "*game*", "", true, false},
        {SaveAs, "save:-", "*game*", "", true, false},
        {SaveOwn, "busy", "*game*", "own.Tollgate", false, true}};
    for (const auto& [command, dialogue, patterns, path, changed, goesOn] : cases) {
        SCOPED_TRACE(dialogue);
        document.LoadRuleSet(command == SaveOwn ? sandboxPath("own.Tollgate") : QString());
        addWindowRule("*game*");
        rules.setChanged(true);
        ScriptedPrompts prompts(str(dialogue));
        DocumentCommands commands(rules, document, catalogue, prompts);
        QSignalSpy ended(&commands, &DocumentCommands::endProgramRequested);
        const bool went = command >= Save ? commands.SaveFile(command == SaveAs) : true;
        if (command == New)
            commands.NewFile();
        else if (command == Open)
            commands.OpenFile();
        else if (command == Quit)
            commands.EndProgram();

        EXPECT_EQ(prompts.log.join(u' '), str(dialogue));
        EXPECT_EQ(command == Quit ? ended.count() == 1 : went, command < Quit || goesOn);
        EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern).join(u','), str(patterns));
        EXPECT_EQ(document.GetDocumentPath(), *path ? sandboxPath(path) : QString());
        EXPECT_EQ(rules.changed(), changed);
        if (command == SaveOwn) {
            EXPECT_TRUE(Sandbox::readFile(sandboxPath(path)).contains("Caption_1=*game*"));
        }
        const bool failed = prompts.log.contains(str("error"));
        if (command == Open && failed) {
            EXPECT_EQ(prompts.error,
                str("The rule set could not be read from %1: not a regular file")
                    .arg(QDir::toNativeSeparators(sandboxPath("a-folder.Tollgate"))));
        }
        for (const QString& step : prompts.log.filter(QRegularExpression(str("^save:[^-]")))) {
            const QString target = sandboxPath(qPrintable(step.mid(5)));
            EXPECT_EQ(Sandbox::readFile(target).contains("Caption_1=*game*"), !failed);
            if (failed) {
                EXPECT_TRUE(prompts.error.startsWith(
                    str("The rule set could not be saved to ") + QDir::toNativeSeparators(target)));
                EXPECT_FALSE(prompts.error.contains(u'\n')) << "one line";
            }
        }
    }
}
