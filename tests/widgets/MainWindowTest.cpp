#include "WidgetFixture.h"
#include "common/DocumentBuilder.h"
#include "forms/PictureBox.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/SplashWindow.h"
#include "ui/TabStrip.h"
#include "ui/WindowRuleEditor.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSlider>
#include <tuple>

using namespace Tollgate;
using Answer = UserDialogs::Answer;

namespace {

using MainWindowTest = WidgetFixture;
using SplashWindowTest = WidgetFixture;

} // namespace

TEST_F(MainWindowTest, EachTabShowsItsPageWithItsInfoLineAndPicture)
{
    const auto shown = [this](const char* name) { return control<QWidget>(name).isVisibleTo(window.get()); };
    QList<std::pair<QString, qint64>> headers;
    for (const int tab : {0, 1, 0}) {
        SCOPED_TRACE(tab);
        control<TabStrip>("TabStrip").setCurrentIndex(tab);
        EXPECT_EQ(std::tuple(shown("frameWindows"), shown("frameProcesses"), shown("framePassword")),
            std::tuple(tab == 0, tab == 1, true));
        headers.append(
            {control<QLabel>("lblInfo").text(), control<PictureBox>("picInfo").pixmap().cacheKey()});
    }
    EXPECT_TRUE(headers[0].first != headers[1].first && headers[0].second != headers[1].second)
        << "each tab has its own info line and picture";
    EXPECT_EQ(headers[0], headers[2]);
}

TEST_F(MainWindowTest, SliderPasswordAndMessagesFollowTheRuleSetBothWays)
{
    auto& slider = control<QSlider>("sliderIdleTime");
    ASSERT_EQ(slider.value(), 30);
    QTest::keyClick(&slider, Qt::Key_Left);
    EXPECT_EQ(slider.value(), 30) << "no lower than 30 seconds";
    QTest::keyClick(&slider, Qt::Key_End);
    EXPECT_EQ(rules.idleTime(), slider.value()) << "seconds both ways";
    EXPECT_TRUE(rules.changed()) << "moving the slider marks the rule set changed";

    rules.setChanged(false);
    auto& password = control<QLineEdit>("txtPassword");
    QTest::keyClicks(&password, str("ab"));
    EXPECT_EQ(rules.password(), str("ab"));
    EXPECT_EQ(password.echoMode(), QLineEdit::Password);
    for (const auto mode : {QLineEdit::Normal, QLineEdit::Password}) {
        control<QPushButton>("cmdPasswordInfo").click();
        EXPECT_EQ(password.echoMode(), mode) << "the info button shows and hides the password";
    }

    rules.setChanged(false);
    auto& block = control<QPlainTextEdit>("txtBlockMessage");
    block.setPlainText(str("No games\nduring lessons"));
    EXPECT_EQ(rules.blockMessage(), str("No games\r\nduring lessons")) << "messages hold CR LF";
    EXPECT_TRUE(rules.changed()) << "message edits are protected by the save question too";

    document.LoadRuleSet(Tollgate::Test::DocumentBuilder()
                             .blockMessage(str("Stop\r\nnow"))
                             .timeoutMessage(str("Idle"))
                             .idleTime(95)
                             .password(str("pw"))
                             .write(str("values.Tollgate")));
    EXPECT_EQ(std::tuple(slider.value(), password.text(), block.toPlainText(),
                  control<QPlainTextEdit>("txtTimeoutMessage").toPlainText()),
        std::tuple(95, str("pw"), str("Stop\nnow"), str("Idle")));
    EXPECT_FALSE(rules.changed()) << "showing a loaded document is no change";
}

TEST_F(MainWindowTest, RunHidesTheWindowAndStopShowsRunAgain)
{
    window->show();
    auto& run = control<QPushButton>("cmdRun");
    const QColor normal = run.palette().color(QPalette::Button);
    run.click();
    EXPECT_TRUE(survey.running());
    EXPECT_EQ(run.text(), str("&Stop"));
    EXPECT_EQ(run.palette().color(QPalette::Button), QColor(255, 0, 0));
    EXPECT_FALSE(window->isVisible()) << "the survey runs with the window hidden";

    // The password prompt stops the survey from outside the window.
    survey.stop();
    EXPECT_FALSE(run.isChecked());
    EXPECT_EQ(run.text(), str("&Run"));
    EXPECT_EQ(run.palette().color(QPalette::Button), normal);

    survey.run();
    EXPECT_TRUE(run.isChecked()) << "a start from outside presses the toggle";
    run.click();
    EXPECT_FALSE(survey.running());
}

// Every window of the program opens centred and puts itself on top when it becomes active.
TEST_F(MainWindowTest, EveryWindowOpensCentredAndGoesOnTopWhenActive)
{
    WindowRuleEditor windowEditor(context, window.get());
    ProcessRuleEditor processEditor(context, window.get());
    SplashWindow splash(fake.platform());
    notifier.showBlockMessage();
    notifier.showPasswordPrompt();
    const QList<QWidget*> all {window.get(), &windowEditor, &processEditor, &message(), &prompt(), &splash};
    for (QWidget* shown : all) {
        SCOPED_TRACE(shown->objectName().toStdString());
        shown->show();
        const QRect screen = shown->screen()->availableGeometry();
        EXPECT_LE((shown->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    }
    for (QWidget* shown : all) {
        SCOPED_TRACE(shown->objectName().toStdString());
        shown->activateWindow();
        if (!QTest::qWaitForWindowActive(shown))
            GTEST_SKIP() << "this platform plugin does not activate windows";
        const auto id = static_cast<Platform::WindowId>(shown->winId());
        EXPECT_TRUE(
            fake.windows().topMostCalls().contains(Platform::FakeWindowSystem::TopMostCall {id, true}));
    }
}

TEST_F(MainWindowTest, LogAndHelpMenusOpenTheirFilesAndDeletingTheLogIsAsked)
{
    ASSERT_TRUE(log.WriteLog(str("cmd"), str("(3) Block")));
    control<QAction>("mnuFileShowLog").trigger();
    control<QAction>("MnuHelpContents").trigger();
    EXPECT_EQ(fake.shell().opened(),
        (QStringList {log.LogFilePath(), catalogue.paths().dataFolder() + str("/Help/TollgateHelp.htm")}));

    dialogs.answers = {Answer::No, Answer::Yes};
    control<QAction>("mnuDeleteLogFile").trigger();
    EXPECT_TRUE(QFile::exists(log.LogFilePath()));
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text, str("Are you sure you want to delete the logfile?"));
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
    const QString target = sandboxPath("menu.Tollgate");
    dialogs.answers = {Answer::Yes};
    dialogs.files = {target};
    trigger("mnuFileNew");
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].buttons, UserDialogs::Buttons::YesNoCancel);
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].mode, UserDialogs::FileRequest::Mode::Save);
    EXPECT_TRUE(dialogs.fileRequests[0].confirmOverwrite) << "replacing a file is asked first";
    EXPECT_EQ(rules.windowRules().count(), 0);

    dialogs.files = {target};
    trigger("mnuFileOpen");
    EXPECT_EQ(dialogs.fileRequests.last().mode, UserDialogs::FileRequest::Mode::Open);
    EXPECT_EQ(rules.windowRules().count(), 1) << "the saved rule came back";
    EXPECT_EQ(document.GetDocumentPath(), target);

    rules.setChanged(true);
    trigger("mnuFileSave");
    EXPECT_FALSE(rules.changed()) << "Save writes to the open document without a dialog";
    dialogs.files = {QString()};
    trigger("mnuFileSaveAs");
    EXPECT_EQ(dialogs.fileRequests.size(), 3);

    rules.setChanged(true);
    window->show();
    dialogs.answers = {Answer::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    dialogs.answers = {Answer::No};
    EXPECT_TRUE(window->close());
}

// It shows the version and the address over its picture. Only a click on the picture, or
// Enter or Escape on their release, close it; a click on the address opens the help page.
TEST_F(SplashWindowTest, ShowsTheVersionAndClosesOnAClickOnThePictureOrOnEnterOrEscape)
{
    SplashWindow splash(fake.platform());
    splash.show();
    EXPECT_EQ(child<QLabel>(splash, "lblInfo").text(), SplashWindow::versionText(str(TOLLGATE_VERSION)));
    EXPECT_EQ(SplashWindow::versionText(str("10.07.003")), str("Version 10.7 Build 3"));
    EXPECT_EQ(SplashWindow::versionText(str("3")), str("Version 3.0 Build 0")) << "missing parts read as 0";
    EXPECT_TRUE(QFileInfo(SplashWindow::address()).isFile()) << "the help page beside the program";
    EXPECT_FALSE(splash.testAttribute(Qt::WA_QuitOnClose)) << "closing it never ends the program";
    // The picture is drawn: the window is not one flat colour.
    const QImage picture = splash.grab().toImage();
    EXPECT_NE(picture.pixel(5, 5), picture.pixel(picture.width() / 2, picture.height() * 3 / 4));

    const auto click
        = [&](const char* label) { QTest::mouseClick(&child<QLabel>(splash, label), Qt::LeftButton); };
    const std::pair<std::function<void()>, bool> cases[] = {
        {[&] { click("lblInfo"); }, false},
        {[&] { click("lblURL"); }, false},
        {[&] { QTest::keyPress(&splash, Qt::Key_Escape); }, false},
        {[&] { QTest::keyRelease(&splash, Qt::Key_Escape); }, true},
        {[&] { QTest::keyClick(&splash, Qt::Key_Return); }, true},
        {[&] { QTest::keyClick(&splash, Qt::Key_Enter); }, true},
        {[&] { QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(10, 10)); }, true},
    };
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_F1, Qt::Key_Tab})
        QTest::keyClick(&splash, key);
    EXPECT_TRUE(splash.isVisible()) << "other keys leave it open";
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        splash.show();
        cases[n].first();
        EXPECT_EQ(splash.isVisible(), !cases[n].second) << "case " << n;
    }
    EXPECT_EQ(fake.shell().opened(), QStringList {SplashWindow::address()});
}

TEST_F(SplashWindowTest, AboutShowsOneSplashWithoutWaitingAndItClosesByItself)
{
    window->show();
    const QRect before = window->geometry();
    control<QAction>("mnuHelpAbout").trigger();
    control<QAction>("mnuHelpAbout").trigger();
    const QList<SplashWindow*> splashes = window->findChildren<SplashWindow*>();
    ASSERT_EQ(splashes.size(), 1) << "About while it is open shows the same one";
    QPointer<SplashWindow> about = splashes.first();
    EXPECT_TRUE(about->isVisible() && !about->isModal());
    EXPECT_TRUE(QTest::qWaitFor([&] { return about.isNull(); }, 30000)) << "closed and gone after 3 seconds";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), before);
}
