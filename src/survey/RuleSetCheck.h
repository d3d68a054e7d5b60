#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace Tollgate {

class RuleSet;

// Finds what in a rule set will probably not do what its administrator means: patterns
// that can never match, process names the process table never reports, Always Run rules
// that cannot start anything, rules that contradict each other, an empty password. Each
// warning names its section and row.
class RuleSetCheck
{
public:
    // Whether a program named by an Always Run command exists: a bare name is looked
    // for on the search path, a name with a folder at that path.
    using ProgramExists = std::function<bool(const QString& program)>;

    explicit RuleSetCheck(ProgramExists programExists);

    QStringList warnings(const RuleSet& rules) const;

    // Why a title pattern can never match; empty for a pattern that can.
    static QString patternFault(const QString& pattern);

private:
    void checkWindows(const RuleSet& rules, QStringList& out) const;
    void checkProcesses(const RuleSet& rules, QStringList& out) const;

    ProgramExists m_programExists;
};

} // namespace Tollgate
