#include "Guard.h"
#include "platform/linux/SyslogSystemLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT end the event loop through a socket pair, so that the guard ends as
// it should: the gate closed (which allows every waiting exec) and the sessions' programs
// ended.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tollgate-guard"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLLGATE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tollgate's guard: denies the programs a machine's rule-set document blocks before "
                       "managed accounts can run them, and keeps Tollgate running in their sessions."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(QStringLiteral("config"),
        QStringLiteral("The configuration file (default %1).")
            .arg(QLatin1String(Tollgate::GuardConfig::DefaultPath)),
        QStringLiteral("file"), QString::fromLatin1(Tollgate::GuardConfig::DefaultPath));
    const QCommandLineOption checkOption(QStringLiteral("check"),
        QStringLiteral("Say what the guard does on this machine, and why not more."));
    const QCommandLineOption endOption(QStringLiteral("end-at-exec"),
        QStringLiteral("End blocked programs as they start instead of denying them before they run."));
    const QCommandLineOption programOption(QStringLiteral("program"),
        QStringLiteral("The session program to keep running (default: tollgate beside the guard)."),
        QStringLiteral("file"));
    parser.addOptions({configOption, checkOption, endOption, programOption});
    parser.process(app);

    Tollgate::Guard::Options options;
    options.configPath = parser.value(configOption);
    options.permissionEvents = !parser.isSet(endOption);
    options.program = parser.isSet(programOption)
        ? parser.value(programOption)
        : QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate");
    if (!parser.isSet(programOption) && !QFileInfo(options.program).isExecutable())
        options.program = QStringLiteral("/usr/bin/tollgate");

    if (parser.isSet(checkOption)) {
        QString why;
        const Tollgate::Guard::Mode mode = Tollgate::Guard::probe(options, why);
        QTextStream(stdout) << Tollgate::Guard::describe(mode, why) << "\n";
        return mode == Tollgate::Guard::Mode::Nothing ? 1 : 0;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Tollgate::Platform::SyslogSystemLog systemLog(QByteArrayLiteral("tollgate-guard"));
    Tollgate::Guard guard(options, systemLog);
    guard.start();
    return QCoreApplication::exec();
}
