#pragma once

#include "common/ChildProcesses.h"

namespace Tollgate::Test {

// What a program said and how it ended: its exit code, -1 after a crash or a time-out.
struct ProgramRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ProgramRun runProgram(const QString& program, const QStringList& arguments, int timeoutMs = 120000,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    ChildProcesses children;
    QProcess* process = children.start(program, arguments, environment, ChildProcesses::Output::Captured);
    if (!process || !process->waitForFinished(timeoutMs))
        return {};
    return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
        process->readAllStandardOutput(), process->readAllStandardError()};
}

} // namespace Tollgate::Test
