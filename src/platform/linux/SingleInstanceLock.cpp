#include "SingleInstanceLock.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace Tollgate::Platform {

SingleInstanceLock::SingleInstanceLock(const QString& name)
    : m_path(lockPath(name))
{ }

QString SingleInstanceLock::lockPath(const QString& name)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat info = {};
    if (!runtime.isEmpty() && ::stat(QFile::encodeName(runtime).constData(), &info) == 0
        && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid())
        return runtime + u'/' + name + QStringLiteral(".lock");
    return QDir::tempPath() + u'/' + name + u'-' + QString::number(::geteuid()) + QStringLiteral(".lock");
}

bool SingleInstanceLock::otherInstanceRuns()
{
    if (m_holds)
        return false;
    // No links followed, and the file must be ours: in a shared temporary folder anyone
    // could have put something in its place.
    FileDescriptor fd(::open(
        QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    struct stat info = {};
    if (!fd.isValid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)
        || info.st_uid != ::geteuid())
        return false;
    int result = 0;
    do {
        result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        return errno == EWOULDBLOCK;
    m_fd = std::move(fd);
    m_holds = true;
    return false;
}

} // namespace Tollgate::Platform
