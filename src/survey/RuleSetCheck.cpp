#include "RuleSetCheck.h"

#include "TitlePattern.h"
#include "lang/ActionCodes.h"
#include "store/RuleSet.h"

#include <QHash>

namespace Tollgate {

namespace {

    QString rowName(const QString& section, int row, const QString& subject)
    {
        return QStringLiteral("%1 row %2 (\"%3\")").arg(section).arg(row).arg(subject);
    }

} // namespace

RuleSetCheck::RuleSetCheck(Platform::ProgramConventions conventions)
    : m_conventions(std::move(conventions))
{ }

QStringList RuleSetCheck::warnings(const RuleSet& rules) const
{
    QStringList out;
    checkWindows(rules, out);
    checkProcesses(rules, out);
    if (rules.password().isEmpty())
        out.append(QStringLiteral("General: the password is empty; after an unattended start anyone who "
                                  "pushes the pointer into the screen corner gets the configuration window"));
    return out;
}

QString RuleSetCheck::patternFault(const QString& pattern)
{
    if (TitlePattern(pattern).isValid())
        return {};
    const qsizetype open = pattern.lastIndexOf(u'[');
    if (open >= 0 && pattern.indexOf(u']', open + 1) < 0)
        return QStringLiteral("an unclosed \"[\"");
    return QStringLiteral("a backward range such as \"[z-a]\"");
}

void RuleSetCheck::checkWindows(const RuleSet& rules, QStringList& out) const
{
    const QString section = QStringLiteral("Windows");
    const RuleTable& table = rules.windowRules();
    // The first matching rule wins, so a later row with the same pattern never applies.
    QHash<QString, int> firstRow;
    for (int n = 1; n <= table.count(); ++n) {
        const QString pattern = table.cell(n, RuleSet::WindowPattern);
        const QString where = rowName(section, n, pattern);
        if (const QString fault = patternFault(pattern); !fault.isEmpty())
            out.append(QStringLiteral("%1: the pattern has %2 and can never match").arg(where, fault));
        const int code = WindowActionCode(table.cell(n, RuleSet::WindowAction));
        const QString key = pattern.toCaseFolded();
        const auto first = firstRow.constFind(key);
        if (first == firstRow.cend()) {
            firstRow.insert(key, n);
        } else if (WindowActionCode(table.cell(*first, RuleSet::WindowAction)) != code) {
            out.append(QStringLiteral("%1: row %2 has the same pattern with another action and always "
                                      "matches first; this rule never applies")
                           .arg(where)
                           .arg(*first));
        }
    }
}

void RuleSetCheck::checkProcesses(const RuleSet& rules, QStringList& out) const
{
    const QString section = QStringLiteral("Processes");
    const RuleTable& table = rules.processRules();
    QHash<QString, int> firstRow;
    for (int n = 1; n <= table.count(); ++n) {
        const QString name = table.cell(n, RuleSet::ProcessName);
        const QString where = rowName(section, n, name);
        const int code = ProcessActionCode(table.cell(n, RuleSet::ProcessAction));

        if (name.trimmed().isEmpty())
            out.append(QStringLiteral("%1: no process name; the rule matches nothing").arg(where));
        else if (name.contains(u'/') || name.contains(u'\\'))
            out.append(QStringLiteral("%1: the process table reports bare program names without a folder; "
                                      "write only the part after the last \"%2\"")
                           .arg(where, m_conventions.folderSeparator));
        else if (name.contains(u'*') || name.contains(u'?'))
            out.append(
                QStringLiteral("%1: process names take no wildcards; the rule matches only that exact name")
                    .arg(where));
        else if (m_conventions.namesEndInExe && !name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
            out.append(QStringLiteral("%1: Windows reports program names with their \".exe\" ending, so the "
                                      "process table never reports this name; write \"%2.exe\"")
                           .arg(where, name));
        else if (!m_conventions.namesEndInExe && name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
            out.append(
                QStringLiteral("%1: Linux programs have no \".exe\" ending, so the process table never "
                               "reports this name; write \"%2\"")
                    .arg(where, name.chopped(4)));

        if (code == int(ProcessAction::AlwaysRun)) {
            const QString command = table.cell(n, RuleSet::ProcessExe).trimmed();
            const auto program = m_conventions.programOf(command);
            if (command.isEmpty())
                out.append(QStringLiteral("%1: Always Run without a command; nothing is started").arg(where));
            else if (!program || program->isEmpty())
                out.append(QStringLiteral("%1: the command \"%2\" has an unclosed quote; nothing is started")
                               .arg(where, command));
            else if (!m_conventions.programExists(*program))
                out.append(QStringLiteral("%1: the program \"%2\" is not found %3")
                               .arg(where, *program,
                                   program->contains(m_conventions.folderSeparator) || program->contains(u'/')
                                       ? QStringLiteral("at its path")
                                       : QStringLiteral("on the search path (PATH)")));
        }

        const QString key = name.toCaseFolded();
        const auto first = firstRow.constFind(key);
        if (first == firstRow.cend())
            firstRow.insert(key, n);
        else if (ProcessActionCode(table.cell(*first, RuleSet::ProcessAction)) != code)
            out.append(QStringLiteral("%1: row %2 names the same process with another action")
                           .arg(where)
                           .arg(*first));
    }
}

} // namespace Tollgate
