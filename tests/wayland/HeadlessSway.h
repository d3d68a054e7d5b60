#pragma once

#include "HeadlessCompositor.h"
#include "platform/wayland/WaylandConnection.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>
#include <wayland-client.h>

namespace Tollgate::Test {

// A private headless sway with one 1024 x 768 output, in a runtime folder of its own, and
// the clients a test starts on it. As root it runs as nobody, since sway refuses root.
class HeadlessSway : public HeadlessCompositor
{
public:
    HeadlessSway()
        : HeadlessCompositor(str("sway"), str("wayland-1"))
    { }

    // Why Wayland tests cannot run here, or empty when they can.
    static QString unavailableReason() { return missing({"sway", "swaymsg"}, "sway refuses root"); }

    // False with the reason in *error when sway did not come up.
    bool start(QString* error)
    {
        const QString config = writeRuntimeFile(str("config"),
            str("output HEADLESS-1 resolution %1x%2 position 0 0\n").arg(Width).arg(Height), error);
        const QStringList settings {
            str("WLR_BACKENDS=headless"), str("WLR_LIBINPUT_NO_DEVICES=1"), str("WLR_RENDERER=pixman")};
        if (config.isEmpty() || !startCompositor(str("sway"), {str("-c"), config}, settings, {config}, error))
            return false;
        const QDir folder(m_runtime.path());
        const auto up = [&] {
            const QStringList sockets = folder.entryList({str("sway-ipc.*.sock")}, QDir::System);
            m_socket = sockets.isEmpty() ? QString() : folder.filePath(sockets.first());
            return folder.exists(socketName()) && !m_socket.isEmpty();
        };
        if (!waitForCompositor(up, "did not come up", error))
            return false;
        m_connection = Platform::WaylandConnection::open(QFile::encodeName(displayPath()), error);
        return m_connection != nullptr;
    }
    const QString& ipcSocket() const { return m_socket; }

    // Ends sway, as a crash of the compositor would end the session.
    void stop()
    {
        m_pointer.reset();
        m_pointerManager.reset();
        m_connection.reset();
        killCompositor();
    }

    // Runs swaymsg with these arguments; what it printed, or nothing when it failed.
    std::optional<QByteArray> message(const QStringList& arguments)
    {
        QProcess swaymsg;
        swaymsg.setProcessEnvironment(clientEnvironment());
        swaymsg.start(str("swaymsg"), QStringList {str("-s"), m_socket} + arguments);
        if (!swaymsg.waitForFinished(10000) || swaymsg.exitStatus() != QProcess::NormalExit
            || swaymsg.exitCode() != 0)
            return std::nullopt;
        return swaymsg.readAllStandardOutput();
    }
    // Runs a sway command through its IPC socket; true when sway reports success.
    bool command(const QString& text) { return message({text}).has_value(); }
    // Whether sway lists the output as active; false for an unknown one.
    bool outputActive(const QString& name)
    {
        const auto outputs = message({str("-r"), str("-t"), str("get_outputs")}).value_or(QByteArray());
        for (const QJsonValue output : QJsonDocument::fromJson(outputs).array()) {
            if (output[str("name")].toString() == name)
                return output[str("active")].toBool();
        }
        return false;
    }

    // Moves a virtual pointer of the test's own to a position of the output; the first call
    // gives the seat its pointer.
    bool movePointer(int x, int y)
    {
        if (!m_pointer) {
            m_pointerManager = {reinterpret_cast<zwlr_virtual_pointer_manager_v1*>(
                                    m_connection->bind(&zwlr_virtual_pointer_manager_v1_interface, 1)),
                zwlr_virtual_pointer_manager_v1_destroy};
            if (!m_pointerManager)
                return false;
            m_pointer
                = {zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_pointerManager.get(), nullptr),
                    zwlr_virtual_pointer_v1_destroy};
        }
        m_time += 16;
        zwlr_virtual_pointer_v1_motion_absolute(
            m_pointer.get(), m_time, quint32(x), quint32(y), Width, Height);
        zwlr_virtual_pointer_v1_frame(m_pointer.get());
        return m_connection->roundTrip();
    }

    QProcessEnvironment clientEnvironment() const override
    {
        QProcessEnvironment environment = HeadlessCompositor::clientEnvironment();
        environment.insert(str("SWAYSOCK"), m_socket);
        return environment;
    }

private:
    std::shared_ptr<Platform::WaylandConnection> m_connection;
    Platform::WaylandObject<zwlr_virtual_pointer_manager_v1> m_pointerManager {nullptr, nullptr};
    Platform::WaylandObject<zwlr_virtual_pointer_v1> m_pointer {nullptr, nullptr};
    QString m_socket;
    quint32 m_time = 0;
};

} // namespace Tollgate::Test
