// Draws each of the program's windows into a PNG file, for the pictures in docs/. Run it on a
// private X server (scripts/render-windows.sh) so that nothing touches the user's screen.

#include "lang/ActionCodes.h"
#include "lang/MessageCatalogue.h"
#include "lang/ProgramPaths.h"
#include "notify/PasswordPrompt.h"
#include "notify/UserMessageWindow.h"
#include "notify/WindowNotifier.h"
#include "platform/fake/FakePlatform.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"
#include "ui/MainWindow.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/QtUserDialogs.h"
#include "ui/RuleEditor.h"
#include "ui/SplashWindow.h"
#include "ui/TabStrip.h"
#include "ui/WindowRuleEditor.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QTextStream>
#include <QTimer>

namespace {

using namespace Tollgate;

// Shows the dialog instead of running it, so that it can be drawn; closed again afterwards.
class DrawingDialogs : public QtUserDialogs
{
public:
    std::function<void(QDialog&)> onDialog;
    int runModal(QDialog& dialog) override
    {
        dialog.show();
        if (onDialog)
            onDialog(dialog);
        dialog.close();
        return QDialog::Rejected;
    }
};

bool save(QWidget& window, const QString& path)
{
    window.activateWindow();
    // Lets the window manager and the style finish drawing it.
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    const bool saved = window.grab().save(path);
    QTextStream(stdout) << (saved ? "wrote " : "could not write ") << path << "\n";
    return saved;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(TOLLGATE_VERSION));
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Where the pictures go."));
    const QCommandLineOption languageOption(
        QStringLiteral("language"), QStringLiteral("Language file to draw with."), QStringLiteral("file"));
    parser.addOption(languageOption);
    const QCommandLineOption suffixOption(
        QStringLiteral("suffix"), QStringLiteral("Added to every picture's name."), QStringLiteral("text"));
    parser.addOption(suffixOption);
    parser.process(app);
    const QString folder = parser.positionalArguments().value(0, QStringLiteral("."));
    const QString suffix = parser.value(suffixOption);
    QDir().mkpath(folder);

    SettingsStore store;
    MessageCatalogue catalogue(store, ProgramPaths::forExecutable(QApplication::applicationDirPath()));
    catalogue.SetLanguageFile(parser.value(languageOption));
    RuleSet rules;
    RuleSetDocument document(rules, catalogue);
    Platform::FakePlatform fake;
    const auto terminal = fake.processes().addProcess(QStringLiteral("xterm"));
    fake.windows().addWindow(QStringLiteral("Solitaire - Card Games"), terminal);
    fake.windows().addWindow(QStringLiteral("Mines - Board Games"), terminal);
    fake.windows().addWindow(QStringLiteral("Terminal"), terminal);
    fake.processes().addProcess(QStringLiteral("firefox-esr"));
    fake.processes().addProcess(QStringLiteral("steam"));
    SystemClock clock;
    ActivityLog log(QDir(folder).filePath(QStringLiteral("render.log")), clock);
    WindowNotifier notifier(rules, catalogue, fake.windows());
    SurveyCycle survey(rules, fake.platform(), notifier, log, clock);
    notifier.setSurvey(survey);
    DrawingDialogs dialogs;
    ConfigurationContext context {rules, document, catalogue, survey, log, fake.platform(), dialogs};

    MainWindow window(context);
    document.LoadRuleSet(QString());
    rules.windowRules().appendRow({QStringLiteral("*solitaire*"), WindowActionText(catalogue, 1)});
    rules.windowRules().appendRow({QStringLiteral("*mines*"), WindowActionText(catalogue, 2)});
    rules.processRules().appendRow({QStringLiteral("steam"), ProcessActionText(catalogue, 3)});
    rules.processRules().appendRow({QStringLiteral("firefox-esr"), ProcessActionText(catalogue, 1)});
    rules.processRules().appendRow({QStringLiteral("kiosk-browser"), ProcessActionText(catalogue, 2),
        QStringLiteral("/usr/bin/kiosk-browser")});
    rules.setPassword(QStringLiteral("secret"));
    rules.setIdleTime(120);
    window.show();

    const auto path = [&](const char* name) {
        return QDir(folder).filePath(QLatin1StringView(name) + suffix + QStringLiteral(".png"));
    };
    bool ok = save(window, path("frmMain-windows"));
    window.findChild<TabStrip*>(QStringLiteral("TabStrip"))->setCurrentIndex(1);
    ok = save(window, path("frmMain-processes")) && ok;

    dialogs.onDialog = [&](QDialog& dialog) {
        ok = save(dialog, path("frmWindow")) && ok;
        auto& editor = static_cast<WindowRuleEditor&>(dialog);
        editor.captionBox().setText(QStringLiteral("*games*"));
        editor.setPickerShown(true);
        ok = save(dialog, path("frmWindow-open-windows")) && ok;
    };
    window.EditWindowRule(1);
    dialogs.onDialog = [&](QDialog& dialog) {
        ok = save(dialog, path("frmProcess")) && ok;
        static_cast<RuleEditor&>(dialog).setPickerShown(true);
        ok = save(dialog, path("frmProcess-running-programs")) && ok;
    };
    window.EditProcessRule(3);

    // The windows of a running survey, each as it looks a few seconds after it appeared.
    UserMessageWindow& message = notifier.messageWindow();
    const auto countDown = [](auto& countdown, int ticks) {
        for (int tick = 0; tick < ticks; ++tick)
            countdown.Timer_Timer();
    };
    notifier.showBlockMessage();
    countDown(message, 3);
    ok = save(message, path("frmUserMessage-block")) && ok;
    notifier.showTimeoutMessage();
    countDown(message, 2);
    ok = save(message, path("frmUserMessage-timeout")) && ok;
    message.cmdOK_Click();
    notifier.showPasswordPrompt();
    PasswordPrompt& prompt = notifier.passwordPrompt();
    prompt.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("secret"));
    countDown(prompt, 4);
    ok = save(prompt, path("frmPassword")) && ok;
    prompt.cmdCancel_Click();

    // The help page where the installed program has it, not in this build tree.
    SplashWindow splash(fake.platform(),
        ProgramPaths(QStringLiteral("/usr/bin"), QStringLiteral("/usr/share/tollgate")).helpPage());
    splash.show();
    ok = save(splash, path("frmSplash")) && ok;
    rules.setChanged(false);
    return ok ? 0 : 1;
}
