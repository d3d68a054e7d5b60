#include "HeadlessCompositor.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>

namespace Tollgate::Test {

HeadlessCompositor::HeadlessCompositor(QString name, QString socketName)
    : m_name(std::move(name))
    , m_socketName(std::move(socketName))
{ }

QString HeadlessCompositor::rootReason(const QString& refusal)
{
    if (::geteuid() == 0
        && (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty() || !::getpwnam("nobody")))
        return refusal + QStringLiteral(", and there is no setpriv or user nobody to run it as");
    return QString();
}

bool HeadlessCompositor::makeRuntimeFolder(QString* error)
{
    m_runtime = std::make_unique<QTemporaryDir>(
        QDir::tempPath() + QStringLiteral("/tollgate-%1-XXXXXX").arg(m_name));
    if (!m_runtime->isValid()) {
        *error = QStringLiteral("no runtime folder");
        return false;
    }
    return true;
}

bool HeadlessCompositor::startCompositor(const QString& program, const QStringList& arguments,
    QProcessEnvironment environment, const QStringList& handOver, QString* error)
{
    QString launcher = program;
    QStringList launcherArguments;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        // Compositors insist on a runtime folder that only their user may enter.
        for (const QString& path : QStringList {m_runtime->path()} + handOver) {
            if (!nobody
                || ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                *error = QStringLiteral("cannot hand the runtime folder to nobody");
                return false;
            }
        }
        // The new credentials clear the death signal that ChildProcesses gives setpriv.
        launcher = QStringLiteral("setpriv");
        launcherArguments << QStringLiteral("--reuid=%1").arg(nobody->pw_uid)
                          << QStringLiteral("--regid=%1").arg(nobody->pw_gid)
                          << QStringLiteral("--clear-groups") << QStringLiteral("--pdeathsig=KILL")
                          << program;
    }
    QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("HOME"), m_runtime->path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    m_compositor = m_servers.start(launcher, launcherArguments + arguments, environment,
        ChildProcesses::Output::Logged, m_runtime->filePath(m_name + QStringLiteral(".log")));
    if (!m_compositor)
        *error = QStringLiteral("%1 did not start").arg(m_name);
    return m_compositor != nullptr;
}

void HeadlessCompositor::killCompositor()
{
    m_servers.kill(m_compositor);
    m_compositor = nullptr;
}

QString HeadlessCompositor::log() const
{
    QFile file(m_runtime->filePath(m_name + QStringLiteral(".log")));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll().right(600));
}

QProcessEnvironment HeadlessCompositor::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), displayPath());
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.remove(QStringLiteral("DISPLAY"));
    return environment;
}

} // namespace Tollgate::Test
