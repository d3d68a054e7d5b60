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

    struct TaskCounters
    {
        qint64 total = -1; // every task, threads and kernel threads too; -1 when unknown
        quint32 lastPid = 0;
    };
    // The total task count and the last pid handed out, from /proc/loadavg; total is -1
    // when the text does not have them.
    static TaskCounters taskCounters(QByteArrayView loadavg);
    // The same, read afresh from an open /proc/loadavg: reading a kept-open file again
    // from the start makes the kernel write it anew, one call instead of three.
    static TaskCounters readTaskCounters(int loadavgFd);
    // Reads a small /proc file whole, up to limit bytes: /proc files report no size, so it
    // reads until the end. Never waits on a FIFO put in a file's place.
    static QByteArray readSmallFile(const QByteArray& path, qsizetype limit = 4096);
    // Whether /proc/PID/status grants CAP_KILL in its effective capabilities.
    static bool statusGrantsKill(QByteArrayView status);
};

} // namespace Tollgate::Platform
