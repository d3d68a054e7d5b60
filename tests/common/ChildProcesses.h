#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace Tollgate::Test {

// Owns the processes a test starts: displays, compositors, buses and their clients. They
// end, newest first, when the owner goes, and on Linux also when the test process dies
// (a crash or a kill leaves nothing running behind).
class ChildProcesses
{
public:
    // Logged: standard output and error both go to the file start() is given.
    enum class Output { Forwarded, Discarded, Captured, Logged };

    ChildProcesses() = default;
    ~ChildProcesses();
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    // Starts a program and keeps it; null when it did not start.
    QProcess* start(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
        Output output = Output::Forwarded, const QString& logFile = QString());
    // Ends one process now, as a crash would, and forgets it.
    void kill(QProcess* process);
    void killAll();

    // QProcess learns of an exit only when asked or through the event loop.
    static bool exited(QProcess* process);

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace Tollgate::Test
