#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

} // namespace Tollgate::Sandbox
