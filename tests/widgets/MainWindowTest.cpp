#include "WidgetFixture.h"
#include "forms/PictureBox.h"
#include "forms/Twips.h"
#include "ui/TabStrip.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTreeView>

using namespace Tollgate;

namespace {

class MainWindowTest : public WidgetFixture
{
};

} // namespace

TEST(TwipsTest, FifteenTwipsArePixelAtNinetySixDotsPerInch)
{
    const Twips normal(96, 96);
    EXPECT_EQ(normal.x(7470), 498);
    EXPECT_EQ(normal.y(9225), 615);
    EXPECT_EQ(normal.rect(5760, 8760, 1575, 375), QRect(384, 584, 105, 25));
    const Twips large(144, 120);
    EXPECT_EQ(large.size(1440, 1440), QSize(144, 120));
    // Controls designed edge to edge stay edge to edge after rounding.
    const Twips odd(97, 97);
    EXPECT_EQ(odd.rect(0, 0, 4690, 100).right() + 1, odd.rect(4690, 0, 100, 100).left());
}

TEST_F(MainWindowTest, StartsOnTheWindowsTabWithItsInfoLine)
{
    auto& tabs = control<TabStrip>("TabStrip");
    auto& info = control<QLabel>("lblInfo");
    auto& picture = control<PictureBox>("picInfo");
    const auto shown = [this](const char* name) { return control<QWidget>(name).isVisibleTo(window.get()); };

    EXPECT_EQ(tabs.currentIndex(), 0);
    EXPECT_EQ(tabs.tabText(0), str("Windows"));
    EXPECT_EQ(tabs.tabText(1), str("Processes"));
    EXPECT_TRUE(shown("frameWindows"));
    EXPECT_FALSE(shown("frameProcesses"));
    EXPECT_EQ(info.text(), str("Add Top-Level Windows to survey"));
    const qint64 windowsPicture = picture.pixmap().cacheKey();
    EXPECT_FALSE(picture.pixmap().isNull());

    tabs.setCurrentIndex(1);
    EXPECT_FALSE(shown("frameWindows"));
    EXPECT_TRUE(shown("frameProcesses"));
    EXPECT_TRUE(shown("framePassword"));
    EXPECT_EQ(info.text(), str("Add Processes to survey"));
    EXPECT_NE(picture.pixmap().cacheKey(), windowsPicture);

    tabs.setCurrentIndex(0);
    EXPECT_TRUE(shown("frameWindows"));
    EXPECT_TRUE(shown("framePassword"));
    EXPECT_EQ(info.text(), str("Add Top-Level Windows to survey"));
    EXPECT_EQ(picture.pixmap().cacheKey(), windowsPicture);
}

TEST_F(MainWindowTest, LayoutFollowsTheDesignInTwips)
{
    const Twips twips = Twips::forWidget(*window);
    EXPECT_EQ(window->centralWidget()->size(), twips.size(7470, 9225));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window has a fixed size";
    EXPECT_EQ(control<QPushButton>("cmdRun").geometry(), twips.rect(5760, 8760, 1575, 375));
    EXPECT_EQ(control<QTreeView>("Windows").geometry(), twips.rect(240, 720, 6255, 3015));
    EXPECT_EQ(control<QGroupBox>("frameProcesses").geometry(), control<QGroupBox>("frameWindows").geometry());
    EXPECT_EQ(control<QLineEdit>("txtPassword").parentWidget()->objectName(), str("framePassword"));
    EXPECT_EQ(control<QSlider>("sliderIdleTime").parentWidget()->objectName(), str("frameProcesses"));
    EXPECT_EQ(window->windowTitle(), str("Tollgate - Blocking Windows and Processes"));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);

    auto& windows = control<QTreeView>("Windows");
    EXPECT_EQ(windows.columnWidth(0), windows.columnWidth(1)) << "columns share the list's width";
    auto& processes = control<QTreeView>("Processes");
    EXPECT_EQ(processes.columnWidth(0), processes.columnWidth(2));
    EXPECT_EQ(windows.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(windows.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(windows.model(), &rules.windowRules()) << "the list shows the rule set itself";
    EXPECT_EQ(processes.model(), &rules.processRules());
    EXPECT_EQ(rules.processRules().headerData(2, Qt::Horizontal).toString(), str("Exe File"));
}

TEST_F(MainWindowTest, MenusCarryTheirNamesCaptionsAndShortcuts)
{
    const struct
    {
        const char* name;
        const char* caption;
        QKeySequence shortcut;
    } items[] = {
        {"mnuFileNew", "&New", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"mnuFileOpen", "&Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"mnuFileSave", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"mnuFileSaveAs", "Save &As", {}},
        {"mnuFileQuit", "&Quit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"mnuLanguageSelect", "&Select Language", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {"mnuLanguageRestore", "&Restore Default", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"mnuFileShowLog", "&Show Logfile", {}},
        {"mnuDeleteLogFile", "&Delete Logfile", {}},
        {"MnuHelpContents", "&Contents", QKeySequence(Qt::Key_F1)},
        {"mnuHelpAbout", "&About", {}},
    };
    for (const auto& item : items) {
        SCOPED_TRACE(item.name);
        auto& action = control<QAction>(item.name);
        EXPECT_EQ(action.text(), str(item.caption));
        EXPECT_EQ(action.shortcut(), item.shortcut);
    }
    for (const char* name : {"mnuFile", "mnuTools", "mnuLanguage", "mnuLog", "MnuHelp"})
        EXPECT_NO_THROW(control<QMenu>(name)) << name;
    EXPECT_TRUE(control<QMenu>("mnuTools").actions().contains(control<QMenu>("mnuLanguage").menuAction()));
    EXPECT_TRUE(control<QMenu>("mnuTools").actions().contains(control<QMenu>("mnuLog").menuAction()));
}

TEST_F(MainWindowTest, SliderPasswordAndMessagesFollowTheRuleSetBothWays)
{
    // Its range and single step show in the key presses below.
    auto& slider = control<QSlider>("sliderIdleTime");
    EXPECT_EQ(slider.pageStep(), 5);
    EXPECT_EQ(slider.tickInterval(), 10);
    EXPECT_EQ(slider.value(), 30);
    ASSERT_FALSE(rules.changed());

    QTest::keyClick(&slider, Qt::Key_Left);
    EXPECT_EQ(slider.value(), 30) << "no lower than 30 seconds";
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.value(), 35);
    EXPECT_EQ(rules.idleTime(), 35);
    EXPECT_TRUE(rules.changed()) << "moving the slider marks the rule set changed";
    QTest::keyClick(&slider, Qt::Key_End);
    EXPECT_EQ(rules.idleTime(), 600);

    rules.setChanged(false);
    auto& password = control<QLineEdit>("txtPassword");
    QTest::keyClicks(&password, str("ab"));
    EXPECT_EQ(rules.password(), str("ab"));
    EXPECT_TRUE(rules.changed()) << "every keystroke in the password box marks it changed";

    rules.setChanged(false);
    auto& block = control<QPlainTextEdit>("txtBlockMessage");
    block.setPlainText(str("No games\nduring lessons"));
    EXPECT_EQ(rules.blockMessage(), str("No games\r\nduring lessons")) << "messages hold CR LF";
    EXPECT_TRUE(rules.changed()) << "message edits are protected by the save question too";

    const QString path = Sandbox::writeFile(str("values.Tollgate"),
        "[Windows]\r\nUserMessage=Stop$vbcrlf$now\r\n[Processes]\r\nIdleTime=95\r\n"
        "UserMessage=Idle\r\n[General]\r\nPassword=pw\r\n");
    document.LoadRuleSet(path);
    EXPECT_EQ(slider.value(), 95);
    EXPECT_EQ(password.text(), str("pw"));
    EXPECT_EQ(block.toPlainText(), str("Stop\nnow"));
    EXPECT_EQ(control<QPlainTextEdit>("txtTimeoutMessage").toPlainText(), str("Idle"));
    EXPECT_FALSE(rules.changed()) << "showing a loaded document is no change";
}

TEST_F(MainWindowTest, OpensCentredOnTheScreen)
{
    window->show();
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_LE((window->frameGeometry().center() - screen.center()).manhattanLength(), 2);
}

TEST_F(MainWindowTest, PasswordInfoShowsAndMasksThePassword)
{
    auto& password = control<QLineEdit>("txtPassword");
    auto& info = control<QPushButton>("cmdPasswordInfo");
    EXPECT_TRUE(info.isCheckable());
    EXPECT_EQ(password.echoMode(), QLineEdit::Password);
    info.click();
    EXPECT_EQ(password.echoMode(), QLineEdit::Normal);
    info.click();
    EXPECT_EQ(password.echoMode(), QLineEdit::Password);
}

TEST_F(MainWindowTest, RunHidesTheWindowAndStopShowsRunAgain)
{
    window->show();
    auto& run = control<QPushButton>("cmdRun");
    EXPECT_TRUE(run.isCheckable());
    EXPECT_EQ(run.text(), str("&Run"));
    const QColor normal = run.palette().color(QPalette::Button);

    run.click();
    EXPECT_TRUE(survey.running());
    EXPECT_TRUE(run.isChecked());
    EXPECT_EQ(run.text(), str("&Stop"));
    EXPECT_EQ(run.palette().color(QPalette::Button), QColor(255, 0, 0));
    EXPECT_FALSE(window->isVisible()) << "the survey runs with the window hidden";

    // The password prompt stops the survey from outside the window.
    survey.stop();
    EXPECT_FALSE(run.isChecked());
    EXPECT_EQ(run.text(), str("&Run"));
    EXPECT_EQ(run.palette().color(QPalette::Button), normal);
    EXPECT_FALSE(window->isVisible()) << "Stop shows no window";

    survey.run();
    EXPECT_TRUE(run.isChecked()) << "a start from outside presses the toggle";
    run.click();
    EXPECT_FALSE(survey.running());
}

TEST_F(MainWindowTest, PutsItselfOnTopWhenActivated)
{
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        GTEST_SKIP() << "this platform plugin does not activate windows";
    const auto id = static_cast<Platform::WindowId>(window->winId());
    const auto& calls = fake.windows().topMostCalls();
    EXPECT_TRUE(calls.contains(Platform::FakeWindowSystem::TopMostCall {id, true}));
}

TEST_F(MainWindowTest, LogMenuShowsAndDeletesTheLog)
{
    ASSERT_TRUE(log.WriteLog(str("cmd"), str("(3) Block")));
    control<QAction>("mnuFileShowLog").trigger();
    EXPECT_EQ(fake.shell().opened(), QStringList {log.LogFilePath()});

    dialogs.answers = {UserDialogs::Answer::No};
    control<QAction>("mnuDeleteLogFile").trigger();
    EXPECT_TRUE(QFile::exists(log.LogFilePath()));
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text, str("Are you sure you want to delete the logfile?"));
    EXPECT_EQ(dialogs.questions[0].buttons, UserDialogs::Buttons::YesNo);

    dialogs.answers = {UserDialogs::Answer::Yes};
    control<QAction>("mnuDeleteLogFile").trigger();
    EXPECT_FALSE(QFile::exists(log.LogFilePath()));
}

// The File menu and the close box reach the document commands, and their questions and
// dialogs come up as message boxes and file dialogs over the window.
TEST_F(MainWindowTest, FileMenuAndCloseBoxGoThroughTheDocumentCommands)
{
    const auto trigger = [this](const char* item) { control<QAction>(item).trigger(); };
    addWindowRule("*game*", "(1) Block");
    rules.setChanged(true);
    const QString target = Sandbox::folder() + str("/menu.Tollgate");
    dialogs.answers = {UserDialogs::Answer::Yes};
    dialogs.files = {target};
    trigger("mnuFileNew");
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text, str("The settings have been changed. Do you want to save changes?"));
    EXPECT_EQ(dialogs.questions[0].buttons, UserDialogs::Buttons::YesNoCancel);
    EXPECT_EQ(dialogs.questions[0].icon, UserDialogs::Icon::Exclamation);
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].mode, UserDialogs::FileRequest::Mode::Save);
    EXPECT_TRUE(dialogs.fileRequests[0].confirmOverwrite) << "replacing a file is asked first";
    EXPECT_EQ(rules.windowRules().count(), 0);

    dialogs.files = {target};
    trigger("mnuFileOpen");
    EXPECT_EQ(dialogs.fileRequests.last().mode, UserDialogs::FileRequest::Mode::Open);
    EXPECT_EQ(rules.windowRules().count(), 1);
    EXPECT_EQ(document.GetDocumentPath(), target);

    rules.setChanged(true);
    trigger("mnuFileSave");
    EXPECT_FALSE(rules.changed()) << "Save writes to the open document without a dialog";
    dialogs.files = {QString()};
    trigger("mnuFileSaveAs");
    EXPECT_EQ(dialogs.fileRequests.size(), 3);
    EXPECT_EQ(window->windowTitle(), str("Tollgate - Blocking Windows and Processes"));

    rules.setChanged(true);
    window->show();
    dialogs.answers = {UserDialogs::Answer::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    dialogs.answers = {UserDialogs::Answer::No};
    EXPECT_TRUE(window->close());
}
