#include "HeadlessKWin.h"

#include "platform/wayland/WaylandConnection.h"

#include <QFile>
#include <QStandardPaths>

namespace Tollgate::Test {

HeadlessKWin::HeadlessKWin()
    : HeadlessCompositor(QStringLiteral("kwin"), QStringLiteral("wayland-kwin"))
{ }

QString HeadlessKWin::unavailableReason()
{
    for (const char* program : {"kwin_wayland", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QLatin1StringView(program)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1StringView(program));
    }
    return rootReason(QStringLiteral("running as root"));
}

QString HeadlessKWin::busAddress() const
{
    return QStringLiteral("unix:path=") + m_runtime->filePath(QStringLiteral("bus"));
}

bool HeadlessKWin::start(QString* error)
{
    if (!makeRuntimeFolder(error))
        return false;
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
    if (!m_servers.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config},
            QProcessEnvironment::systemEnvironment(), ChildProcesses::Output::Logged,
            m_runtime->filePath(QStringLiteral("bus.log")))
        || !waitUntil([&] { return QFile::exists(m_runtime->filePath(QStringLiteral("bus"))); })) {
        *error = QStringLiteral("the private session bus did not start");
        return false;
    }

    return startKWin(error);
}

bool HeadlessKWin::restart(QString* error)
{
    killCompositor();
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
    const QStringList arguments {QStringLiteral("--virtual"), QStringLiteral("--width"),
        QString::number(Width), QStringLiteral("--height"), QString::number(Height),
        QStringLiteral("--socket"), socketName(), QStringLiteral("--no-lockscreen"),
        QStringLiteral("--no-global-shortcuts"), QStringLiteral("--no-kactivities")};

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_runtime->filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress());
    // Software painting: there is no GPU here.
    environment.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("Q"));
    if (!startCompositor(copy, arguments, environment, {}, error))
        return false;
    if (!waitUntil([&] { return QFile::exists(displayPath()) || !compositorRunning(); })
        || !compositorRunning()) {
        *error = QStringLiteral("KWin did not come up: %1").arg(log());
        return false;
    }
    // The socket comes before KWin answers on it.
    const bool answers = waitUntil([&] {
        QString ignored;
        return Platform::WaylandConnection::open(QFile::encodeName(displayPath()), &ignored) != nullptr
            || !compositorRunning();
    });
    if (!answers || !compositorRunning()) {
        *error = QStringLiteral("KWin does not answer: %1").arg(log());
        return false;
    }
    return true;
}

QProcessEnvironment HeadlessKWin::clientEnvironment() const
{
    QProcessEnvironment environment = HeadlessCompositor::clientEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress());
    environment.remove(QStringLiteral("SWAYSOCK"));
    return environment;
}

} // namespace Tollgate::Test
