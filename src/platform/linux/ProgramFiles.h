#pragma once

#include "FileDescriptor.h"
#include "platform/PlatformTypes.h"
#include "platform/ProgramFile.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace Tollgate::Platform {

// A program file held open, so that it is read as it was when it was opened even if its
// path is replaced meanwhile.
class OpenProgram
{
public:
    // Regular files only; opening never waits (a FIFO in the program's place is refused).
    static std::optional<OpenProgram> open(const QByteArray& path);
    // The program a process runs, through its exe link.
    static std::optional<OpenProgram> ofProcess(ProcessId pid, const QByteArray& procRoot = "/proc");
    // A descriptor someone else owns and keeps open while the result is used.
    static ProgramFile describe(int fd, const QString& path);

    const ProgramFile& file() const { return m_file; }

private:
    FileDescriptor m_fd;
    ProgramFile m_file;
};

// What a guard reads about a process from /proc; nothing when the process is gone or the
// text is not what the kernel writes.
namespace ProcessFacts {
    // The real user id: the account that started it, which setting itself non-dumpable
    // (which makes /proc/PID root's) does not change.
    std::optional<uint> realUid(ProcessId pid, const QByteArray& procRoot = "/proc");
    // The owner of /proc/PID: the effective user, or root for a process that is not dumpable.
    std::optional<uint> owner(ProcessId pid, const QByteArray& procRoot = "/proc");
    QList<QByteArray> arguments(ProcessId pid, const QByteArray& procRoot = "/proc");
    // The target of a link in /proc/PID ("exe", "cwd"); empty when unreadable.
    QByteArray link(ProcessId pid, const QByteArray& name, const QByteArray& procRoot = "/proc");
    // The device and inode of the program it runs; nothing when gone.
    std::optional<std::pair<quint64, quint64>> exeIdentity(
        ProcessId pid, const QByteArray& procRoot = "/proc");
} // namespace ProcessFacts

} // namespace Tollgate::Platform
