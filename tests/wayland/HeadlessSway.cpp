#include "HeadlessSway.h"

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QThread>
#include <pwd.h>
#include <unistd.h>
#include <wayland-client.h>

namespace Tollgate::Test {

bool waitForCondition(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QThread::msleep(20);
    }
    return true;
}

namespace {
    bool runningAsRoot()
    {
        return ::geteuid() == 0;
    }
} // namespace

HeadlessSway::~HeadlessSway()
{
    for (auto& client : m_clients) {
        client->kill();
        client->waitForFinished(5000);
    }
    stop();
}

void HeadlessSway::stop()
{
    m_pointer.reset();
    m_pointerManager.reset();
    m_connection.reset();
    if (m_sway && m_sway->state() != QProcess::NotRunning) {
        m_sway->kill();
        m_sway->waitForFinished(5000);
    }
}

QString HeadlessSway::unavailableReason()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sway")).isEmpty())
        return QStringLiteral("sway is not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("swaymsg")).isEmpty())
        return QStringLiteral("swaymsg is not installed");
    if (runningAsRoot()
        && (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty() || !::getpwnam("nobody")))
        return QStringLiteral("sway refuses root, and there is no setpriv or user nobody to run it as");
    return QString();
}

bool HeadlessSway::start(QString* error)
{
    m_runtime = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tollgate-sway-XXXXXX"));
    if (!m_runtime->isValid()) {
        *error = QStringLiteral("no runtime folder");
        return false;
    }
    const QString config = m_runtime->filePath(QStringLiteral("config"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(
        QStringLiteral("output HEADLESS-1 resolution %1x%2 position 0 0\n").arg(Width).arg(Height).toUtf8());
    file.close();

    QStringList arguments;
    QString program = QStringLiteral("sway");
    if (runningAsRoot()) {
        const passwd* nobody = ::getpwnam("nobody");
        // sway insists on a runtime folder that only its user may enter.
        if (::chown(QFile::encodeName(m_runtime->path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0
            || ::chown(QFile::encodeName(config).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            *error = QStringLiteral("cannot hand the runtime folder to nobody");
            return false;
        }
        program = QStringLiteral("setpriv");
        arguments << QStringLiteral("--reuid=%1").arg(nobody->pw_uid)
                  << QStringLiteral("--regid=%1").arg(nobody->pw_gid) << QStringLiteral("--clear-groups")
                  << QStringLiteral("sway");
    }
    QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    arguments << QStringLiteral("-c") << config;

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("HOME"), m_runtime->path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    m_sway = std::make_unique<QProcess>();
    m_sway->setProcessEnvironment(environment);
    m_sway->setProcessChannelMode(QProcess::MergedChannels);
    m_sway->setStandardOutputFile(m_runtime->filePath(QStringLiteral("sway.log")));
    m_sway->start(program, arguments);
    if (!m_sway->waitForStarted(10000)) {
        *error = QStringLiteral("sway did not start: %1").arg(m_sway->errorString());
        return false;
    }

    QDir folder(m_runtime->path());
    const bool ready = waitForCondition([&] {
        const QStringList sockets = folder.entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        if (folder.exists(QStringLiteral("wayland-1")) && !sockets.isEmpty()) {
            m_socket = folder.filePath(sockets.first());
            return true;
        }
        return m_sway->state() != QProcess::Running;
    });
    if (!ready || m_socket.isEmpty()) {
        QFile log(m_runtime->filePath(QStringLiteral("sway.log")));
        log.open(QIODevice::ReadOnly);
        *error = QStringLiteral("sway did not come up: %1").arg(QString::fromUtf8(log.readAll().right(600)));
        return false;
    }
    QString connectError;
    m_connection = Platform::WaylandConnection::open(QFile::encodeName(displayPath()), &connectError);
    if (!m_connection) {
        *error = connectError;
        return false;
    }
    return true;
}

QString HeadlessSway::displayPath() const
{
    return m_runtime->filePath(QStringLiteral("wayland-1"));
}

QProcessEnvironment HeadlessSway::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), displayPath());
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("SWAYSOCK"), m_socket);
    environment.remove(QStringLiteral("DISPLAY"));
    return environment;
}

bool HeadlessSway::command(const QString& text)
{
    QProcess message;
    message.setProcessEnvironment(clientEnvironment());
    message.start(QStringLiteral("swaymsg"), {QStringLiteral("-s"), m_socket, text});
    return message.waitForFinished(10000) && message.exitStatus() == QProcess::NormalExit
        && message.exitCode() == 0;
}

bool HeadlessSway::outputActive(const QString& name)
{
    QProcess message;
    message.setProcessEnvironment(clientEnvironment());
    message.start(QStringLiteral("swaymsg"),
        {QStringLiteral("-s"), m_socket, QStringLiteral("-r"), QStringLiteral("-t"),
            QStringLiteral("get_outputs")});
    if (!message.waitForFinished(10000))
        return false;
    for (const QJsonValue output : QJsonDocument::fromJson(message.readAllStandardOutput()).array()) {
        if (output[QStringLiteral("name")].toString() == name)
            return output[QStringLiteral("active")].toBool();
    }
    return false;
}

QProcess* HeadlessSway::startClient(const QString& program, const QStringList& arguments)
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

bool HeadlessSway::movePointer(int x, int y)
{
    if (!m_pointer) {
        m_pointerManager = {reinterpret_cast<zwlr_virtual_pointer_manager_v1*>(
                                m_connection->bind(&zwlr_virtual_pointer_manager_v1_interface, 1)),
            zwlr_virtual_pointer_manager_v1_destroy};
        if (!m_pointerManager)
            return false;
        m_pointer = {zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_pointerManager.get(), nullptr),
            zwlr_virtual_pointer_v1_destroy};
    }
    m_time += 16;
    zwlr_virtual_pointer_v1_motion_absolute(m_pointer.get(), m_time, quint32(x), quint32(y), Width, Height);
    zwlr_virtual_pointer_v1_frame(m_pointer.get());
    return m_connection->roundTrip();
}

} // namespace Tollgate::Test
