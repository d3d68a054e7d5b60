#include "WindowsGuard.h"
#include "platform/win32/Win32EventLog.h"
#include "platform/win32/Win32ProcessStarts.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Service.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

// TollgateGuard.exe: the service TollgateGuard, which the installer registers to start
// with Windows as LocalSystem. --console runs the same guard in the foreground, for a
// look at what it does.
namespace {

const QString ServiceName = QStringLiteral("TollgateGuard");

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("TollgateGuard"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLLGATE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tollgate's guard: keeps Tollgate.exe running with the machine's rule set in the sessions of the "
        "managed accounts, and ends the programs it blocks in every session of theirs."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption consoleOption(
        QStringLiteral("console"), QStringLiteral("Run in the foreground instead of as the service."));
    const QCommandLineOption checkOption(
        QStringLiteral("check"), QStringLiteral("Say how blocked programs would be found, and end."));
    const QCommandLineOption noEventsOption(QStringLiteral("no-start-events"),
        QStringLiteral("Look at the process list every tick instead of using process start events."));
    const QCommandLineOption programOption(QStringLiteral("program"),
        QStringLiteral("The session program (default: Tollgate.exe beside the guard)."),
        QStringLiteral("file"));
    const QCommandLineOption keyOption(QStringLiteral("config-key"),
        QStringLiteral("The configuration key under HKEY_LOCAL_MACHINE (default %1).")
            .arg(QLatin1String(Tollgate::WindowsGuard::ConfigKey)),
        QStringLiteral("key"), QString::fromLatin1(Tollgate::WindowsGuard::ConfigKey));
    const QCommandLineOption installOption(
        QStringLiteral("install"), QStringLiteral("Register the service TollgateGuard and start it."));
    const QCommandLineOption removeOption(
        QStringLiteral("remove"), QStringLiteral("Stop the service TollgateGuard and remove it."));
    parser.addOptions(
        {consoleOption, checkOption, noEventsOption, programOption, keyOption, installOption, removeOption});
    parser.process(app);

    if (parser.isSet(installOption) || parser.isSet(removeOption)) {
        QString why;
        const bool done = parser.isSet(installOption)
            ? Tollgate::Platform::Win32Service::install(ServiceName, QStringLiteral("Tollgate Guard"),
                QStringLiteral("Keeps Tollgate running in the sessions of the managed accounts and ends the "
                               "programs the machine's rule set blocks."),
                QCoreApplication::applicationFilePath(), why)
            : Tollgate::Platform::Win32Service::remove(ServiceName, why);
        if (!done)
            QTextStream(stderr) << "TollgateGuard: " << why << "\n";
        return done ? 0 : 1;
    }

    if (parser.isSet(checkOption)) {
        Tollgate::Platform::Win32ProcessStarts starts([](Tollgate::Platform::ProcessId) {});
        QString why;
        QTextStream out(stdout);
        if (starts.start(why))
            out << "blocked programs are ended as they start (process start events)\n";
        else
            out << "blocked programs are ended on the process list every " << Tollgate::WindowsGuard::TickMs
                << " ms (no process start events: " << why << ")\n";
        return 0;
    }

    Tollgate::WindowsGuard::Options options;
    options.configKey = parser.value(keyOption);
    options.startEvents = !parser.isSet(noEventsOption);
    options.program = parser.isSet(programOption)
        ? parser.value(programOption)
        : QCoreApplication::applicationDirPath() + QStringLiteral("/Tollgate.exe");

    Tollgate::Platform::Win32Registry registry;
    Tollgate::Platform::Win32EventLog eventLog;
    const bool console = parser.isSet(consoleOption);
    // The guard ends with the body, so that the programs it keeps have ended before the
    // service manager hears that the service stopped.
    const auto body = [&] {
        Tollgate::WindowsGuard guard(options, registry, eventLog, console);
        guard.start();
        return QCoreApplication::exec();
    };
    if (console)
        return body();
    int result = 0;
    QString why;
    if (!Tollgate::Platform::Win32Service::run(
            ServiceName, body,
            [&app] { QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection); },
            result, why)) {
        QTextStream(stderr) << "TollgateGuard: " << why << "; --console runs it in the foreground\n";
        return 2;
    }
    return result;
}
