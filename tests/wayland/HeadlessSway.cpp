#include "HeadlessSway.h"

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <wayland-client.h>

namespace Tollgate::Test {

HeadlessSway::HeadlessSway()
    : HeadlessCompositor(QStringLiteral("sway"), QStringLiteral("wayland-1"))
{ }

void HeadlessSway::stop()
{
    m_pointer.reset();
    m_pointerManager.reset();
    m_connection.reset();
    killCompositor();
}

QString HeadlessSway::unavailableReason()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sway")).isEmpty())
        return QStringLiteral("sway is not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("swaymsg")).isEmpty())
        return QStringLiteral("swaymsg is not installed");
    return rootReason(QStringLiteral("sway refuses root"));
}

bool HeadlessSway::start(QString* error)
{
    if (!makeRuntimeFolder(error))
        return false;
    const QString config = m_runtime->filePath(QStringLiteral("config"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(
        QStringLiteral("output HEADLESS-1 resolution %1x%2 position 0 0\n").arg(Width).arg(Height).toUtf8());
    file.close();

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    if (!startCompositor(
            QStringLiteral("sway"), {QStringLiteral("-c"), config}, environment, {config}, error))
        return false;

    QDir folder(m_runtime->path());
    const bool ready = waitUntil([&] {
        const QStringList sockets = folder.entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        if (folder.exists(socketName()) && !sockets.isEmpty()) {
            m_socket = folder.filePath(sockets.first());
            return true;
        }
        return !compositorRunning();
    });
    if (!ready || m_socket.isEmpty()) {
        *error = QStringLiteral("sway did not come up: %1").arg(log());
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

QProcessEnvironment HeadlessSway::clientEnvironment() const
{
    QProcessEnvironment environment = HeadlessCompositor::clientEnvironment();
    environment.insert(QStringLiteral("SWAYSOCK"), m_socket);
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
