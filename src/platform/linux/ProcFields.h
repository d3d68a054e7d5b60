#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace Tollgate::Platform {

// The parts of /proc files the process table reads, parsed from their bytes alone: any
// process may put anything into its command name and command line, so nothing here may
// trust what it is given.
class ProcFields
{
public:
    struct Stat
    {
        QByteArray commandName; // between the first "(" and the last ")"
        char state = 'X';
        quint64 flags = 0;
    };

    // The fields of /proc/PID/stat that matter; no value when the text is cut short.
    static std::optional<Stat> parseStat(QByteArrayView stat);
    // Whether the stat fields describe a process that runs a program of its own: not a
    // zombie, not dead, not a kernel thread.
    static bool isRunningProgram(const Stat& stat);

    // The file name of a path, decoded as the file system names files.
    static QString baseName(QByteArrayView path);
    // The program's name from the target of /proc/PID/exe, which the kernel marks with
    // " (deleted)" when the file is gone.
    static QString exeName(QByteArrayView linkTarget);
    // The program's name from /proc/PID/cmdline: the file name of argv[0].
    static QString commandLineName(QByteArrayView commandLine);

    // The total task count and the last pid handed out, from /proc/loadavg; empty when the
    // text does not have them.
    static QByteArray taskCounters(QByteArrayView loadavg);
    // Whether a process with this pid may have started between two readings of the task
    // counters: its pid lies in the range handed out in between, allowing for the wrap at
    // the highest pid. True when either reading is missing.
    static bool mayBeNewPid(quint32 pid, QByteArrayView countersBefore, QByteArrayView countersNow);
    // Whether /proc/PID/status grants CAP_KILL in its effective capabilities.
    static bool statusGrantsKill(QByteArrayView status);
};

} // namespace Tollgate::Platform
