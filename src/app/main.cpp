#include "CommandLine.h"
#include "PlatformReport.h"
#include "Program.h"
#include "lang/MessageCatalogue.h"
#include "lang/ProgramPaths.h"
#include "platform/PlatformFactory.h"
#include "store/SettingsStore.h"
#include "ui/QtUserDialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QTextStream>
#include <cstdio>

namespace {

// The windowed program, from start-up to the end of its event loop.
int runWindowed(int& argc, char** argv, const QString& commandLine)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tollgate"));
    QApplication::setApplicationVersion(QStringLiteral(TOLLGATE_VERSION));
    // The installed menu entry and icon, so that task bars show Tollgate's own.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tollgate.Tollgate"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tollgate")));

    const auto platform = Tollgate::Platform::PlatformFactory::create();
    Tollgate::QtUserDialogs dialogs;
    Tollgate::Program program(
        *platform, Tollgate::ProgramPaths::forExecutable(QApplication::applicationDirPath()), dialogs);
    program.Main(commandLine);
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    // Without options the program runs with its windows: a document path on the command
    // line starts the survey at once. The options work without a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!Tollgate::Program::hasOptions(arguments)) {
        // A second instance ends at once, silently; the lock lasts as long as this process.
        const auto instance = Tollgate::Platform::PlatformFactory::singleInstance();
        if (instance->otherInstanceRuns())
            return 0;
        const QString missing = Tollgate::Platform::PlatformFactory::missingDisplay();
        if (!missing.isEmpty()) {
            fprintf(stderr, "tollgate: %s (see 'tollgate --help' for what works without one)\n",
                qPrintable(missing));
            return 2;
        }
        return runWindowed(argc, argv, Tollgate::Program::commandLineText(arguments));
    }

    Tollgate::Platform::PlatformFactory::useCallersConsole();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tollgate"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLLGATE_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tollgate - Blocking Windows and Processes"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption checkOption(QStringLiteral("check"),
        QStringLiteral("Load a rule-set document as an unattended start would and "
                       "describe it as JSON, with warnings about rules that will probably not "
                       "do what was meant."),
        QStringLiteral("file"));
    parser.addOption(checkOption);
    const QCommandLineOption checkPlatformOption(QStringLiteral("check-platform"),
        QStringLiteral(
            "Say which platform backend is in use and which of its capabilities work in this session."));
    parser.addOption(checkPlatformOption);
    parser.addPositionalArgument(QStringLiteral("document"),
        QStringLiteral("Without options: a rule-set document to load and survey at once, with no window "
                       "shown. Without a document the configuration window opens."));

    if (!parser.parse(QCoreApplication::arguments())) {
        err << "tollgate: " << parser.errorText() << "\n"
            << "Try 'tollgate --help'.\n";
        return 2;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out << "tollgate " << QCoreApplication::applicationVersion() << "\n";
        return 0;
    }

    if (parser.isSet(checkPlatformOption)) {
        const auto platform = Tollgate::Platform::PlatformFactory::create();
        return Tollgate::PlatformReport::print(*platform, out);
    }

    const auto registry = Tollgate::Platform::PlatformFactory::systemRegistry();
    Tollgate::SettingsStore store = registry ? Tollgate::SettingsStore(registry) : Tollgate::SettingsStore();
    const Tollgate::MessageCatalogue catalogue(
        store, Tollgate::ProgramPaths::forExecutable(QCoreApplication::applicationDirPath()));

    if (parser.isSet(checkOption))
        return Tollgate::CommandLine::check(parser.value(checkOption), catalogue, out, err);

    out << parser.helpText();
    return 0;
}
