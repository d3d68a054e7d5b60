#include "CommandLine.h"
#include "PlatformReport.h"
#include "lang/MessageCatalogue.h"
#include "lang/ProgramPaths.h"
#include "platform/PlatformFactory.h"
#include "store/SettingsStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tollgate"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLLGATE_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tollgate - Blocking Windows and Processes"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption checkOption(
        QStringLiteral("check"), QStringLiteral("Load a rule-set document as an unattended start would and "
                                                "describe it as JSON."),
        QStringLiteral("file"));
    parser.addOption(checkOption);
    const QCommandLineOption checkPlatformOption(
        QStringLiteral("check-platform"),
        QStringLiteral("Say which platform backend is in use and which of its capabilities work in this session."));
    parser.addOption(checkPlatformOption);

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

    Tollgate::SettingsStore store;
    const Tollgate::MessageCatalogue catalogue(
        store, Tollgate::ProgramPaths::forExecutable(QCoreApplication::applicationDirPath()));

    if (parser.isSet(checkOption))
        return Tollgate::CommandLine::check(parser.value(checkOption), catalogue, out, err);

    out << parser.helpText();
    return 0;
}
