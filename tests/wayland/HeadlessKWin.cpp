#include "HeadlessKWin.h"

#include "HeadlessSway.h"
#include "platform/wayland/WaylandConnection.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>

namespace Tollgate::Test {

namespace {
    const QString SocketName = QStringLiteral("wayland-kwin");

    bool handToNobody(const QString& path)
    {
        const passwd* nobody = ::getpwnam("nobody");
        return nobody && ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) == 0;
    }
} // namespace

HeadlessKWin::~HeadlessKWin()
{
    for (auto& client : m_clients) {
        client->kill();
        client->waitForFinished(5000);
    }
    for (QProcess* process : {m_kwin.get(), m_bus.get()}) {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QString HeadlessKWin::unavailableReason()
{
    for (const char* program : {"kwin_wayland", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QLatin1StringView(program)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1StringView(program));
    }
    if (::geteuid() == 0
        && (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty() || !::getpwnam("nobody")))
        return QStringLiteral("running as root, and there is no setpriv or user nobody to run KWin as");
    return QString();
}

QString HeadlessKWin::busAddress() const
{
    return QStringLiteral("unix:path=") + m_runtime->filePath(QStringLiteral("bus"));
}

QString HeadlessKWin::displayPath() const
{
    return m_runtime->filePath(SocketName);
}

QString HeadlessKWin::log() const
{
    QFile file(m_runtime->filePath(QStringLiteral("kwin.log")));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll().right(600));
}

bool HeadlessKWin::start(QString* error)
{
    m_runtime = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tollgate-kwin-XXXXXX"));
    if (!m_runtime->isValid()) {
        *error = QStringLiteral("no runtime folder");
        return false;
    }
    const QString config = m_runtime->filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>%1</listen><auth>EXTERNAL</auth>\n"
                       "<policy context=\"default\"><allow user=\"*\"/><allow send_destination=\"*\"/><allow "
                       "receive_sender=\"*\"/>"
                       "<allow own=\"*\"/></policy></busconfig>\n")
            .arg(busAddress())
            .toUtf8());
    file.close();
    m_bus = std::make_unique<QProcess>();
    m_bus->setProcessChannelMode(QProcess::MergedChannels);
    m_bus->setStandardOutputFile(m_runtime->filePath(QStringLiteral("bus.log")));
    m_bus->start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config});
    if (!m_bus->waitForStarted(10000)
        || !waitForCondition([&] { return QFile::exists(m_runtime->filePath(QStringLiteral("bus"))); })) {
        *error = QStringLiteral("the private session bus did not start");
        return false;
    }

    return startKWin(error);
}

bool HeadlessKWin::restart(QString* error)
{
    m_kwin->kill();
    m_kwin->waitForFinished(5000);
    return startKWin(error);
}

bool HeadlessKWin::startKWin(QString* error)
{
    const QString copy = m_runtime->filePath(QStringLiteral("kwin_wayland"));
    if (!QFile::exists(copy)
        && !QFile::copy(QStandardPaths::findExecutable(QStringLiteral("kwin_wayland")), copy)) {
        *error = QStringLiteral("cannot copy kwin_wayland");
        return false;
    }
    QString program = copy;
    QStringList arguments;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!handToNobody(m_runtime->path())) {
            *error = QStringLiteral("cannot hand the runtime folder to nobody");
            return false;
        }
        program = QStringLiteral("setpriv");
        arguments << QStringLiteral("--reuid=%1").arg(nobody->pw_uid)
                  << QStringLiteral("--regid=%1").arg(nobody->pw_gid) << QStringLiteral("--clear-groups")
                  << copy;
    }
    QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    arguments << QStringLiteral("--virtual") << QStringLiteral("--width") << QString::number(Width)
              << QStringLiteral("--height") << QString::number(Height) << QStringLiteral("--socket")
              << SocketName << QStringLiteral("--no-lockscreen") << QStringLiteral("--no-global-shortcuts")
              << QStringLiteral("--no-kactivities");

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("HOME"), m_runtime->path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_runtime->filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress());
    // Software painting: there is no GPU here.
    environment.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("Q"));
    m_kwin = std::make_unique<QProcess>();
    m_kwin->setProcessEnvironment(environment);
    m_kwin->setProcessChannelMode(QProcess::MergedChannels);
    m_kwin->setStandardOutputFile(m_runtime->filePath(QStringLiteral("kwin.log")));
    m_kwin->start(program, arguments);
    if (!m_kwin->waitForStarted(10000)) {
        *error = QStringLiteral("KWin did not start: %1").arg(m_kwin->errorString());
        return false;
    }
    if (!waitForCondition(
            [&] { return QFile::exists(displayPath()) || m_kwin->state() != QProcess::Running; })
        || m_kwin->state() != QProcess::Running) {
        *error = QStringLiteral("KWin did not come up: %1").arg(log());
        return false;
    }
    // The socket comes before KWin answers on it.
    const bool answers = waitForCondition([&] {
        QString ignored;
        return Platform::WaylandConnection::open(QFile::encodeName(displayPath()), &ignored) != nullptr
            || m_kwin->state() != QProcess::Running;
    });
    if (!answers || m_kwin->state() != QProcess::Running) {
        *error = QStringLiteral("KWin does not answer: %1").arg(log());
        return false;
    }
    return true;
}

QProcessEnvironment HeadlessKWin::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), displayPath());
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("SWAYSOCK"));
    return environment;
}

QProcess* HeadlessKWin::startClient(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(clientEnvironment());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    if (!process->waitForStarted(10000))
        return nullptr;
    m_clients.push_back(std::move(process));
    return m_clients.back().get();
}

} // namespace Tollgate::Test
