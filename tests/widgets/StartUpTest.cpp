#include "WidgetFixture.h"
#include "app/Program.h"
#include "ui/QtUserDialogs.h"
#include "ui/SplashWindow.h"

#include <QApplication>
#include <QMessageBox>

using namespace Tollgate;

namespace {

// The program's start-up on a fake desktop. The splash is closed by Escape as soon as it
// is up, and what existed at that moment is noted.
class StartUpTest : public testing::Test
{
protected:
    Platform::FakePlatform fake;
    ScriptedDialogs dialogs;
    std::unique_ptr<Program> program;
    bool splashShown = false;
    bool mainWindowDuringSplash = false;

    void SetUp() override
    {
        program = std::make_unique<Program>(
            fake.platform(), ProgramPaths(Sandbox::folder(), Sandbox::folder()), dialogs);
        program->catalogue().SetLanguageFile(QString());
    }

    void TearDown() override
    {
        program.reset();
        // Tests that run the event loop must not leave a quit behind for the next one.
        QCoreApplication::removePostedEvents(nullptr);
    }

    void start(const QString& commandLine)
    {
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto* splash = qobject_cast<SplashWindow*>(QApplication::activeModalWidget());
            if (!splash || !splash->isVisible())
                return;
            splashShown = true;
            mainWindowDuringSplash = program->hasMainWindow();
            QTest::keyClick(splash, Qt::Key_Escape);
            closer.stop();
        });
        closer.start(10);
        program->Main(commandLine);
        EXPECT_TRUE(splashShown && !mainWindowDuringSplash) << "a splash, and the main window only after it";
        EXPECT_EQ(fake.shell().registrations().size(), 1) << "the association is written on every start";
    }
};

} // namespace

TEST(StartArgumentsTest, AllArgumentsMakeOnePathAndDashesMeanOptions)
{
    EXPECT_EQ(Program::commandLineText({}), QString());
    EXPECT_EQ(Program::commandLineText({str("/home/ann/My"), str("Rules.Tollgate")}),
        str("/home/ann/My Rules.Tollgate"));
    EXPECT_EQ(Program::commandLineText({str("\"quoted path\"")}), str("\"quoted path\""));
    EXPECT_EQ(Program::commandLineText({str("--"), str("-odd"), str("name")}), str("-odd name"));
    EXPECT_FALSE(Program::hasOptions({str("rules.Tollgate"), str("-")}));
    EXPECT_TRUE(Program::hasOptions({str("--check"), str("x")}));
    EXPECT_TRUE(Program::hasOptions({str("rules"), str("--version")}));
    EXPECT_TRUE(Program::hasOptions({str("-h")}));
    EXPECT_FALSE(Program::hasOptions({str("--"), str("--help")}));
}

TEST_F(StartUpTest, InteractiveStartShowsTheWindowAndQuitAsksAboutUnsavedChanges)
{
    start(QString());
    EXPECT_TRUE(program->mainWindow().isVisible());
    EXPECT_FALSE(program->survey().running());
    EXPECT_TRUE(program->document().GetDocumentPath().isEmpty());

    auto& quit = child<QAction>(program->mainWindow(), "mnuFileQuit");
    program->rules().windowRules().appendRow({str("*x*"), str("(1) Block")});
    program->rules().setChanged(true);
    dialogs.answers = {UserDialogs::Answer::Cancel, UserDialogs::Answer::No};
    bool keptRunning = false;
    QTimer::singleShot(0, [&] {
        quit.trigger();
        QTimer::singleShot(0, [&] {
            keptRunning = program->mainWindow().isVisible();
            quit.trigger();
        });
    });
    // A guard ends the event loop with 99 when the program does not.
    QTimer guard;
    guard.callOnTimeout([] { QCoreApplication::exit(99); });
    guard.start(30000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(keptRunning) << "Cancel keeps the program";
    ASSERT_EQ(dialogs.questions.size(), 2);
    EXPECT_EQ(dialogs.questions[0].text, MessageCatalogue::builtInText(str("MSG_SETTINGS_CHANGED")));
    EXPECT_TRUE(program->mainWindow().isVisible()) << "ended at once, without closing the window first";
}

// Qt's own texts come from the language file and follow a change of language at once.
TEST_F(StartUpTest, MessageBoxButtonsFollowTheChosenLanguage)
{
    for (const char* name : {"Deutsch.lng", "English.lng"})
        Sandbox::writeFile(str("Language/") + str(name),
            Sandbox::readFile(str(TOLLGATE_SOURCE_DIR "/data/Language/") + str(name)));
    const auto buttons = [] {
        QStringList shown;
        QTimer answer;
        answer.callOnTimeout([&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = {box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text()};
                box->button(QMessageBox::No)->click();
            }
        });
        answer.start(10);
        QtUserDialogs().ask(nullptr, str("?"), UserDialogs::Buttons::YesNo, UserDialogs::Icon::Exclamation);
        return shown;
    };
    program->catalogue().SetLanguageFile(str("Deutsch.lng"));
    EXPECT_EQ(buttons(), QStringList({str("&Ja"), str("&Nein")}));
    program->catalogue().SetLanguageFile(str("English.lng"));
    EXPECT_EQ(buttons(), QStringList({str("&Yes"), str("&No")}));
}
