#pragma once

#include "platform/ProgramConventions.h"

#include <QString>
#include <QStringList>

namespace Tollgate {

class RuleSet;

// Finds what in a rule set will probably not do what its administrator means: patterns
// that can never match, process names the process table never reports, Always Run rules
// that cannot start anything, rules that contradict each other, an empty password. Each
// warning names its section and row.
class RuleSetCheck
{
public:
    explicit RuleSetCheck(Platform::ProgramConventions conventions);

    QStringList warnings(const RuleSet& rules) const;

    // Why a title pattern can never match; empty for a pattern that can.
    static QString patternFault(const QString& pattern);

private:
    void checkWindows(const RuleSet& rules, QStringList& out) const;
    void checkProcesses(const RuleSet& rules, QStringList& out) const;

    Platform::ProgramConventions m_conventions;
};

} // namespace Tollgate
