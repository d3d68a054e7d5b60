#include "WidgetFixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace Tollgate;

namespace {

using Answer = UserDialogs::Answer;

class DocumentCommandsTest : public WidgetFixture
{
protected:
    const QString settingsChanged = str("The settings have been changed. Do you want to save changes?");

    // A rule set with an unsaved change.
    void editSomething()
    {
        addWindowRule("*game*", "(1) Block");
        rules.setChanged(true);
    }

    QString sandboxPath(const char* name) const { return Sandbox::folder() + u'/' + str(name); }

    void trigger(const char* menuItem) { control<QAction>(menuItem).trigger(); }
};

} // namespace

TEST_F(DocumentCommandsTest, NewAsksOnlyWithUnsavedChangesAndHonoursEachAnswer)
{
    trigger("mnuFileNew");
    EXPECT_TRUE(dialogs.questions.isEmpty()) << "nothing to lose, nothing asked";

    editSomething();
    dialogs.answers = {Answer::Cancel};
    trigger("mnuFileNew");
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text, settingsChanged);
    EXPECT_EQ(dialogs.questions[0].buttons, UserDialogs::Buttons::YesNoCancel);
    EXPECT_EQ(dialogs.questions[0].icon, UserDialogs::Icon::Exclamation);
    EXPECT_EQ(rules.windowRules().count(), 1) << "Cancel keeps the rule set";
    EXPECT_TRUE(rules.changed());

    // Yes on a rule set that has no file yet asks for one; cancelling that stops New.
    dialogs.answers = {Answer::Yes};
    dialogs.files = {QString()};
    trigger("mnuFileNew");
    EXPECT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(rules.windowRules().count(), 1);
    EXPECT_TRUE(rules.changed());

    const QString target = sandboxPath("new-yes.Tollgate");
    dialogs.answers = {Answer::Yes};
    dialogs.files = {target};
    trigger("mnuFileNew");
    EXPECT_TRUE(Sandbox::readFile(target).contains("Caption_1=*game*")) << "saved before it was dropped";
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_FALSE(rules.changed());
    EXPECT_TRUE(document.GetDocumentPath().isEmpty()) << "a new rule set has no file";

    editSomething();
    dialogs.answers = {Answer::No};
    trigger("mnuFileNew");
    EXPECT_EQ(rules.windowRules().count(), 0) << "No drops the changes";
    EXPECT_FALSE(rules.changed());
}

TEST_F(DocumentCommandsTest, OpenAsksFirstAndACancelledDialogKeepsEverything)
{
    const QString path = Sandbox::writeFile(str("open.Tollgate"),
        "[Windows]\r\nCount=1\r\nCaption_1=*chat*\r\nAction_1=2\r\n[Processes]\r\nCount=0\r\n");

    editSomething();
    dialogs.answers = {Answer::No};
    dialogs.files = {QString()};
    trigger("mnuFileOpen");
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern), QStringList {str("*game*")});
    EXPECT_TRUE(rules.changed()) << "a cancelled Open leaves the changes and their mark";

    dialogs.answers = {Answer::Cancel};
    trigger("mnuFileOpen");
    EXPECT_EQ(dialogs.fileRequests.size(), 1) << "Cancel at the question shows no file dialog";

    dialogs.answers = {Answer::No};
    dialogs.files = {path};
    trigger("mnuFileOpen");
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern), QStringList {str("*chat*")});
    EXPECT_EQ(rules.windowRules().cell(1, RuleSet::WindowAction), str("(2) Bring To Front"));
    EXPECT_FALSE(rules.changed());
    EXPECT_EQ(document.GetDocumentPath(), path);
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[1].mode, UserDialogs::FileRequest::Mode::Open);
    EXPECT_TRUE(dialogs.fileRequests[1].filter.contains(str("*.Tollgate")));

    // A name typed into the dialog that names no file gives a new rule set of that name.
    const QString missing = sandboxPath("not-there.Tollgate");
    dialogs.files = {missing};
    trigger("mnuFileOpen");
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_EQ(document.GetDocumentPath(), missing);
}

TEST_F(DocumentCommandsTest, SaveOnANeverSavedRuleSetActsAsSaveAs)
{
    addWindowRule("*solitaire*", "(1) Block");
    const QString target = sandboxPath("typed-without-extension");
    dialogs.files = {target};
    EXPECT_TRUE(window->SaveFile(false));
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].mode, UserDialogs::FileRequest::Mode::Save);
    EXPECT_TRUE(dialogs.fileRequests[0].confirmOverwrite) << "replacing a file is asked first";
    EXPECT_TRUE(QFile::exists(target)) << "the name is taken exactly as typed";
    EXPECT_FALSE(QFile::exists(target + str(".Tollgate")));
    EXPECT_EQ(document.GetDocumentPath(), target);
    EXPECT_EQ(window->windowTitle(), str("Tollgate - Blocking Windows and Processes"));

    // Now it has a file: Save writes there without asking, Save As asks again.
    addWindowRule("*mines*", "(1) Block");
    rules.setChanged(true);
    control<QAction>("mnuFileSave").trigger();
    EXPECT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_TRUE(Sandbox::readFile(target).contains("Caption_2=*mines*"));
    EXPECT_FALSE(rules.changed());

    dialogs.files = {QString()};
    rules.setChanged(true);
    EXPECT_FALSE(window->SaveFile(true)) << "a cancelled Save As writes nothing";
    EXPECT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_TRUE(rules.changed());
}

TEST_F(DocumentCommandsTest, AFailedSaveSaysWhyAndKeepsTheChanges)
{
    editSomething();
    const QString target = sandboxPath("no-such-folder/rules.Tollgate");
    dialogs.files = {target};
    EXPECT_FALSE(window->SaveFile(false));
    ASSERT_EQ(dialogs.questions.size(), 1);
    const auto& notice = dialogs.questions[0];
    EXPECT_EQ(notice.buttons, UserDialogs::Buttons::Ok);
    EXPECT_TRUE(
        notice.text.startsWith(str("The rule set could not be saved to ") + QDir::toNativeSeparators(target)))
        << notice.text.toStdString();
    EXPECT_FALSE(notice.text.contains(u'\n')) << "one line";
    EXPECT_TRUE(rules.changed());

    // So the next Quit still asks, and a failing Yes keeps the program running.
    QSignalSpy ended(window.get(), &MainWindow::endApplicationRequested);
    dialogs.answers = {Answer::Yes};
    dialogs.files = {target};
    window->EndProgram();
    EXPECT_EQ(ended.count(), 0);
}

TEST_F(DocumentCommandsTest, QuitAndCloseAskBeforeLosingChanges)
{
    QSignalSpy ended(window.get(), &MainWindow::endApplicationRequested);
    trigger("mnuFileQuit");
    EXPECT_EQ(ended.count(), 1) << "nothing unsaved: ends without a question";
    EXPECT_TRUE(dialogs.questions.isEmpty());

    editSomething();
    dialogs.answers = {Answer::Cancel};
    trigger("mnuFileQuit");
    EXPECT_EQ(ended.count(), 1);

    dialogs.answers = {Answer::Yes};
    dialogs.files = {QString()};
    trigger("mnuFileQuit");
    EXPECT_EQ(ended.count(), 1) << "Save As cancelled: the program stays";

    dialogs.answers = {Answer::No};
    trigger("mnuFileQuit");
    EXPECT_EQ(ended.count(), 2);

    window->show();
    dialogs.answers = {Answer::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    const QString target = sandboxPath("on-close.Tollgate");
    dialogs.answers = {Answer::Yes};
    dialogs.files = {target};
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(dialogs.questions.size(), 5);

    window->show();
    EXPECT_TRUE(window->close()) << "saved: closes without a question";
    EXPECT_EQ(dialogs.questions.size(), 5);
}
