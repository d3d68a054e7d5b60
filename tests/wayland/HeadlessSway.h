#pragma once

#include "HeadlessCompositor.h"
#include "platform/wayland/WaylandConnection.h"

struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace Tollgate::Test {

// A private headless sway with one 1024 x 768 output, in a runtime folder of its own, and
// the clients a test starts on it. As root it runs as nobody, since sway refuses root.
class HeadlessSway : public HeadlessCompositor
{
public:
    HeadlessSway();

    // Why Wayland tests cannot run here, or empty when they can.
    static QString unavailableReason();

    // False with the reason in *error when sway did not come up.
    bool start(QString* error);
    const QString& ipcSocket() const { return m_socket; }

    // Ends sway, as a crash of the compositor would end the session.
    void stop();

    // Runs a sway command through its IPC socket; true when sway reports success.
    bool command(const QString& text);

    // Whether sway lists the output as active; false for an unknown one.
    bool outputActive(const QString& name);

    // Moves a virtual pointer of the test's own to a position of the output; the first call
    // gives the seat its pointer.
    bool movePointer(int x, int y);
    QProcessEnvironment clientEnvironment() const override;

private:
    std::shared_ptr<Platform::WaylandConnection> m_connection;
    Platform::WaylandObject<zwlr_virtual_pointer_manager_v1> m_pointerManager {nullptr, nullptr};
    Platform::WaylandObject<zwlr_virtual_pointer_v1> m_pointer {nullptr, nullptr};
    QString m_socket;
    quint32 m_time = 0;
};

} // namespace Tollgate::Test
