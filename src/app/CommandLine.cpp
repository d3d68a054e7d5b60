#include "CommandLine.h"

#include "lang/MessageCatalogue.h"
#include "platform/PlatformFactory.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "survey/RuleSetCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTextStream>

namespace Tollgate::CommandLine {

namespace {

    // Where the program found its own files, so that an administrator sees at once
    // whether an installation is whole.
    QJsonObject programFiles(const ProgramPaths& paths)
    {
        const QString help = paths.helpPage();
        const QStringList languages
            = QDir(paths.languageFolder()).entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name);
        return {{QStringLiteral("dataFolder"), paths.dataFolder()},
            {QStringLiteral("languages"), QJsonArray::fromStringList(languages)},
            {QStringLiteral("helpPage"), QFileInfo::exists(help) ? help : QString()}};
    }

} // namespace

int check(const QString& path, const MessageCatalogue& catalogue, QTextStream& out, QTextStream& err)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        err << "tollgate: " << path << ": no such file\n";
        return 2;
    }
    if (!info.isFile()) {
        err << "tollgate: " << path << ": not a rule-set document (not a regular file)\n";
        return 2;
    }

    RuleSet rules;
    RuleSetDocument document(rules, catalogue);
    document.LoadRuleSet(QString());
    const RuleSetDocument::LoadResult loaded = document.LoadRuleSet(path);
    if (!loaded.fileRead) {
        err << "tollgate: " << path << ": cannot be read: " << loaded.error << "\n";
        return 2;
    }

    QJsonArray windows;
    const RuleTable& windowRules = rules.windowRules();
    for (int n = 1; n <= windowRules.count(); ++n)
        windows.append(QJsonObject {{QStringLiteral("pattern"), windowRules.cell(n, RuleSet::WindowPattern)},
            {QStringLiteral("action"), windowRules.cell(n, RuleSet::WindowAction)}});
    QJsonArray processes;
    const RuleTable& processRules = rules.processRules();
    for (int n = 1; n <= processRules.count(); ++n)
        processes.append(QJsonObject {{QStringLiteral("name"), processRules.cell(n, RuleSet::ProcessName)},
            {QStringLiteral("action"), processRules.cell(n, RuleSet::ProcessAction)},
            {QStringLiteral("exe"), processRules.cell(n, RuleSet::ProcessExe)}});

    const QJsonObject report {
        {QStringLiteral("document"), document.documentPath()},
        {QStringLiteral("windows"), windows},
        {QStringLiteral("blockMessage"), rules.blockMessage()},
        {QStringLiteral("processes"), processes},
        {QStringLiteral("idleTime"), rules.idleTime()},
        {QStringLiteral("timeoutMessage"), rules.timeoutMessage()},
        {QStringLiteral("hasPassword"), !rules.password().isEmpty()},
        {QStringLiteral("warnings"),
            QJsonArray::fromStringList(loaded.warnings
                + RuleSetCheck(Platform::PlatformFactory::programConventions()).warnings(rules))},
        {QStringLiteral("program"), programFiles(catalogue.paths())},
    };
    out << QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact)) << "\n";
    return 0;
}

} // namespace Tollgate::CommandLine
