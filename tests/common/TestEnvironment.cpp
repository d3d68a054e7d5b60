#include "TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#ifndef _WIN32
#include <pwd.h>
#include <sys/fsuid.h>
#include <unistd.h>
#endif

namespace Tollgate::Sandbox {

void enter(const QTemporaryDir& sandbox)
{
    const QString root = sandbox.path();
    const auto set = [&root](const char* name, const char* sub) {
        const QString path = root + QLatin1StringView(sub);
        QDir().mkpath(path);
        qputenv(name, path.toUtf8());
    };
    set("TOLLGATE_TEST_SANDBOX", "");
    set("HOME", "/home");
    set("XDG_CONFIG_HOME", "/home/.config");
    set("XDG_DATA_HOME", "/home/.local/share");
    set("XDG_STATE_HOME", "/home/.local/state");
    set("XDG_CACHE_HOME", "/home/.cache");
    set("XDG_CONFIG_DIRS", "/etc/xdg");
    set("XDG_DATA_DIRS", "/usr/share");
    set("TOLLGATE_REGISTRY_DIR", "/registry");
    set("XDG_RUNTIME_DIR", "/run");
    QFile::setPermissions(
        root + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString folder()
{
    return qEnvironmentVariable("TOLLGATE_TEST_SANDBOX");
}

QString writeFile(const QString& relativePath, const QByteArray& bytes)
{
    const QString path = folder() + u'/' + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool permissionBitsKept()
{
    const QString path = writeFile(QStringLiteral("permission-bits-probe"), "x");
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QFile::setPermissions(path, ownerOnly);
    const bool kept = (QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther)) == 0;
    QFile::remove(path);
    return kept;
}

bool permissionsBind()
{
    const QString path = writeFile(QStringLiteral("permission-probe"), "x");
    QFile::setPermissions(path, QFile::WriteOwner);
    QFile probe(path);
    const bool bind = !probe.open(QIODevice::ReadOnly);
    probe.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(path);
    return bind;
}

#ifdef _WIN32
OrdinaryAccount::OrdinaryAccount()
    : m_reason(QStringLiteral("Windows: Qt's permissions are only the read-only flag"))
{ }
OrdinaryAccount::~OrdinaryAccount() = default;
#else
OrdinaryAccount::OrdinaryAccount()
{
    if (::geteuid() != 0)
        return;
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) {
        m_reason = QStringLiteral("the tests run as root and there is no account nobody");
        return;
    }
    // nobody must reach the sandbox: every folder above it may be entered, and below it
    // everything is nobody's.
    const QString root = folder();
    for (QString above = QFileInfo(root).absolutePath(); above != QDir::tempPath() && above.size() > 1;
         above = QFileInfo(above).absolutePath())
        QFile::setPermissions(above, QFileInfo(above).permissions() | QFile::ExeOther);
    const auto handOver = [&](const QString& path) {
        return ::lchown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) == 0;
    };
    bool handed = handOver(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        handed = handOver(it.next()) && handed;
    if (!handed) {
        m_reason = QStringLiteral("the sandbox could not be handed to nobody");
        return;
    }
    ::setfsgid(nobody->pw_gid);
    ::setfsuid(nobody->pw_uid);
    m_switched = true;
}

OrdinaryAccount::~OrdinaryAccount()
{
    if (m_switched) {
        ::setfsuid(0);
        ::setfsgid(0);
    }
}
#endif

} // namespace Tollgate::Sandbox
