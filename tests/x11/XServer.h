#pragma once

#include "common/PrivateDesktop.h"
#include "common/WaitUntil.h"
#include "platform/x11/X11Connection.h"

#include <memory>

namespace Tollgate::Test {

// A private Xvfb on a free display, optionally with openbox, and the clients a test starts
// on it.
class XServer : public PrivateDesktop
{
public:
    XServer() = default;

    // Why X tests cannot run here, or empty when they can.
    static QString unavailableReason(bool withWindowManager);

    bool start(bool withWindowManager);
    // Kills the X server (and the window manager) while clients still use it, as a crash
    // of the display would.
    void killServer() { m_servers.killAll(); }
    const QString& display() const { return m_display; }
    // A connection of the test's own, for checking what the backend did and driving input.
    Platform::X11Connection& connection() { return *m_connection; }
    QProcessEnvironment clientEnvironment() const override;

    // Waits until the server has acted on everything sent through the connection, and
    // has sent it the events that came before.
    static void roundTrip(Platform::X11Connection& connection);
    void roundTrip() { roundTrip(*m_connection); }
    // The first keycode whose keysyms include keysym; for 0, one the keymap leaves empty; 0
    // for none.
    quint8 keycodeOf(quint32 keysym);

private:
    bool windowManagerManagesNewWindows();

    std::shared_ptr<Platform::X11Connection> m_connection;
    QString m_display;
};

} // namespace Tollgate::Test
