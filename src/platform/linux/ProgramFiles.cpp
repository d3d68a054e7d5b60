#include "ProgramFiles.h"

#include "ProcFields.h"

#include <QFile>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Tollgate::Platform {

namespace {

    // The kernel's pidfd_info as of Linux 6.13; later kernels accept this first version.
    struct PidfdInfo
    {
        quint64 mask;
        quint64 cgroupid;
        quint32 pid, tgid, ppid, ruid, rgid, euid, egid, suid, sgid, fsuid, fsgid;
        qint32 exitCode;
    };
    static_assert(sizeof(PidfdInfo) == 64);
    constexpr quint64 PidfdInfoCreds = 1 << 1;
    constexpr unsigned long PidfdGetInfo = _IOWR(0xFF, 11, PidfdInfo);

    QByteArray procPath(const QByteArray& procRoot, ProcessId pid, const QByteArray& name)
    {
        return procRoot + '/' + QByteArray::number(pid) + '/' + name;
    }

} // namespace

ProgramFile OpenProgram::describe(int fd, const QString& path)
{
    ProgramFile file;
    file.path = path;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return file;
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    file.size = info.st_size;
    file.read = [fd](qint64 offset, qint64 length) {
        QByteArray bytes(length, Qt::Uninitialized);
        qint64 done = 0;
        while (done < length) {
            const ssize_t got = ::pread(fd, bytes.data() + done, size_t(length - done), off_t(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += got;
        }
        bytes.truncate(done);
        return bytes;
    };
    return file;
}

std::optional<OpenProgram> OpenProgram::open(const QByteArray& path)
{
    OpenProgram program;
    program.m_fd.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!program.m_fd.isValid())
        return std::nullopt;
    program.m_file = describe(program.m_fd.get(), QFile::decodeName(path));
    if (program.m_file.size < 0)
        return std::nullopt;
    return program;
}

std::optional<OpenProgram> OpenProgram::ofProcess(ProcessId pid, const QByteArray& procRoot)
{
    std::optional<OpenProgram> program = open(procPath(procRoot, pid, "exe"));
    if (program)
        program->m_file.path = QFile::decodeName(ProcessFacts::link(pid, "exe", procRoot));
    return program;
}

std::optional<uint> ProcessFacts::realUid(ProcessId pid, const QByteArray& procRoot)
{
    // Linux 6.13 and later tell a process's credentials through its pidfd: three short
    // calls, where the status text costs about ten microseconds to generate.
    static std::atomic<bool> pidfdInfo {true};
    if (procRoot == "/proc" && pidfdInfo.load(std::memory_order_relaxed)) {
        const FileDescriptor pidfd(int(::syscall(SYS_pidfd_open, pid_t(pid), 0)));
        PidfdInfo info {};
        info.mask = PidfdInfoCreds;
        if (pidfd.isValid() && ::ioctl(pidfd.get(), PidfdGetInfo, &info) == 0 && (info.mask & PidfdInfoCreds))
            return info.ruid;
        if (pidfd.isValid() && (errno == ENOTTY || errno == EINVAL))
            pidfdInfo.store(false, std::memory_order_relaxed);
    }
    const QByteArray status = ProcFields::readSmallFile(procPath(procRoot, pid, "status"), 8192);
    const qsizetype at = status.indexOf("\nUid:");
    if (at < 0)
        return std::nullopt;
    const qsizetype end = status.indexOf('\n', at + 1);
    const QList<QByteArray> fields = status.mid(at + 5, end < 0 ? -1 : end - at - 5).simplified().split(' ');
    bool ok = false;
    const uint uid = fields.value(0).toUInt(&ok);
    return ok ? std::optional<uint>(uid) : std::nullopt;
}

std::optional<uint> ProcessFacts::owner(ProcessId pid, const QByteArray& procRoot)
{
    struct stat info
    {
    };
    if (::stat((procRoot + '/' + QByteArray::number(pid)).constData(), &info) != 0)
        return std::nullopt;
    return uint(info.st_uid);
}

QList<QByteArray> ProcessFacts::arguments(ProcessId pid, const QByteArray& procRoot)
{
    QByteArray bytes = ProcFields::readSmallFile(procPath(procRoot, pid, "cmdline"), 65536);
    if (bytes.endsWith('\0'))
        bytes.chop(1);
    return bytes.isEmpty() ? QList<QByteArray>() : bytes.split('\0');
}

QByteArray ProcessFacts::link(ProcessId pid, const QByteArray& name, const QByteArray& procRoot)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length
        = ::readlink(procPath(procRoot, pid, name).constData(), target.data(), target.size());
    if (length <= 0 || length >= target.size())
        return {};
    target.truncate(length);
    return target;
}

std::optional<std::pair<quint64, quint64>> ProcessFacts::exeIdentity(
    ProcessId pid, const QByteArray& procRoot)
{
    struct stat info
    {
    };
    if (::stat(procPath(procRoot, pid, "exe").constData(), &info) != 0)
        return std::nullopt;
    return std::make_pair(quint64(info.st_dev), quint64(info.st_ino));
}

} // namespace Tollgate::Platform
