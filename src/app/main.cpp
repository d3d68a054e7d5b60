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

// Exit codes. A guard that starts the program in guarded mode starts it again on anything
// but 0, which there only the administrator's Quit (after the password) gives:
//   0  the administrator's Quit; outside guarded mode also a second instance, or an option
//      that did its work
//   1  the display was lost (Qt ends the program)
//   2  a bad start: an unknown option, no display, guarded mode without a document
//   3  guarded mode only: the event loop ended some other way (the session manager, the
//      last window closed)
// Any other code comes from Qt or the system, and a killed program has its signal instead.
//
// Guarded mode: TOLLGATE_GUARDED=1 in the environment, the document as the argument, and
// standard input a pipe from the guard, which writes one line per program it denied under a
// Block rule: "blocked<TAB>PROGRAM<TAB>ACTION". The program then runs even where the user
// started a copy first, shows and logs those blocks as its own, and cannot be debugged by
// the user. The end of the input is not an error: the program enforces on.

namespace {

enum ExitCode { Success = 0, BadStart = 2, EndedOtherwise = 3 };

// The windowed program, from start-up to the end of its event loop.
int runWindowed(int& argc, char** argv, const QString& commandLine, bool guarded)
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
    // Taken over before Main, whose survey may start programs that would inherit it.
    const auto guard = guarded ? Tollgate::Platform::PlatformFactory::standardInput() : nullptr;
    program.Main(commandLine);
    if (guard)
        program.hearGuard(*guard);
    const int code = QApplication::exec();
    if (guarded && code == Success && !program.endedOnRequest())
        return EndedOtherwise;
    return code;
}

} // namespace

int main(int argc, char* argv[])
{
    // Read once, and not handed on to the programs that Always Run starts.
    const bool guarded = qEnvironmentVariable("TOLLGATE_GUARDED") == QLatin1String("1");
    qunsetenv("TOLLGATE_GUARDED");
    if (guarded && !Tollgate::Platform::PlatformFactory::protectProcess())
        fprintf(stderr, "tollgate: this process could not be kept from debuggers\n");

    // Without options the program runs with its windows: a document path on the command
    // line starts the survey at once. The options work without a display. A guarded start
    // takes every argument as the document.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (guarded || !Tollgate::Program::hasOptions(arguments)) {
        const QString document = Tollgate::Program::commandLineText(arguments);
        if (guarded && document.isEmpty()) {
            fprintf(stderr, "tollgate: a guarded start needs a rule-set document\n");
            return BadStart;
        }
        // A second instance ends at once, silently; the lock lasts as long as this process.
        // The guard's copy runs whatever the user started before it, and holds the lock
        // when it is free, so that a copy the user starts later ends.
        const auto instance = Tollgate::Platform::PlatformFactory::singleInstance();
        if (instance->otherInstanceRuns() && !guarded)
            return Success;
        const QString missing = Tollgate::Platform::PlatformFactory::missingDisplay();
        if (!missing.isEmpty()) {
            fprintf(stderr, "tollgate: %s (see 'tollgate --help' for what works without one)\n",
                qPrintable(missing));
            return BadStart;
        }
        return runWindowed(argc, argv, document, guarded);
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
        return BadStart;
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
