#pragma once

#include "platform/ProcessTable.h"

namespace Tollgate::Platform {

// Processes through Toolhelp snapshots; ended with TerminateProcess, started with
// CreateProcessW. Windows tells of new processes only to administrators (WMI, ETW), so
// no change is ever reported and the survey's tick finds them.
class Win32ProcessTable : public ProcessTable
{
public:
    QList<ProcessEntry> snapshot() override;
    TerminateResult terminate(ProcessId pid) override;
    // A Windows command line: the program is the first word, or the quoted text at the
    // start; backslashes are folder separators, never escapes, and no shell sees it.
    ProcessId start(const QString& commandLine) override;
    QList<CapabilityStatus> capabilities() override;
    // The ids of the running processes, in no order: a third of a snapshot's cost.
    static QList<ProcessId> processIds();

    // One way to read a command line: the program as written, and the rest of the line
    // as it stands (with its leading blank).
    struct ProgramSplit
    {
        QString program;
        QString rest;

        friend bool operator==(const ProgramSplit&, const ProgramSplit&) = default;
    };
    // The readings to try in turn. A quoted program gives one, and an unclosed quote none.
    // An unquoted one with a folder may have blanks in its path: the longest reading
    // comes first, so "C:\Program Files\x.exe" runs x.exe and never C:\Program.exe
    // while x.exe is there.
    static QList<ProgramSplit> programSplits(const QString& commandLine);
    // The full path of the program a command line names, or empty; a program without an
    // extension may be an ".exe", and one without a folder is searched for as Windows does.
    static QString resolveProgram(const QString& program);
};

} // namespace Tollgate::Platform
