#pragma once

#include "platform/wayland/WaylandConnection.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace Tollgate::Test {

// Polls until the condition holds or the time is up; compositor events and process exits
// are asynchronous, and CI machines are slow.
bool waitForCondition(
    const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// A private headless sway with one 1024 x 768 output, in a runtime folder of its own, and
// the clients a test starts on it. As root it runs as nobody, since sway refuses root.
// Everything is killed when the object goes.
class HeadlessSway
{
public:
    static constexpr int Width = 1024;
    static constexpr int Height = 768;

    HeadlessSway() = default;
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    // Why Wayland tests cannot run here, or empty when they can.
    static QString unavailableReason();

    // False with the reason in *error when sway did not come up.
    bool start(QString* error);
    // The socket's full path, usable as WAYLAND_DISPLAY from any runtime folder.
    QString displayPath() const;
    QString runtimeFolder() const { return m_runtime->path(); }
    const QString& ipcSocket() const { return m_socket; }

    // Ends sway, as a crash of the compositor would end the session.
    void stop();

    // Runs a sway command through its IPC socket; true when sway reports success.
    bool command(const QString& text);

    // Whether sway lists the output as active; false for an unknown one.
    bool outputActive(const QString& name);

    // Starts a client on this compositor; null when it did not start.
    QProcess* startClient(const QString& program, const QStringList& arguments);

    // Moves a virtual pointer of the test's own to a position of the output; the first call
    // gives the seat its pointer.
    bool movePointer(int x, int y);

private:
    QProcessEnvironment clientEnvironment() const;

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QProcess> m_sway;
    std::vector<std::unique_ptr<QProcess>> m_clients;
    std::shared_ptr<Platform::WaylandConnection> m_connection;
    Platform::WaylandObject<zwlr_virtual_pointer_manager_v1> m_pointerManager {nullptr, nullptr};
    Platform::WaylandObject<zwlr_virtual_pointer_v1> m_pointer {nullptr, nullptr};
    QString m_socket;
    quint32 m_time = 0;
};

} // namespace Tollgate::Test
