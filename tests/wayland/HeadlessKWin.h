#pragma once

#include "HeadlessCompositor.h"

namespace Tollgate::Test {

// A private KWin in its virtual mode (one 1024 x 768 output) on a private session bus, in a
// runtime folder of its own, and the clients a test starts on it. KWin runs from a copy of
// its binary: the installed one carries a file capability that an unprivileged start (and a
// container without that capability) refuses. As root it runs as nobody. The bus lets any
// user in, since the test itself stays root.
class HeadlessKWin : public HeadlessCompositor
{
public:
    HeadlessKWin();

    // Why KWin tests cannot run here, or empty when they can.
    static QString unavailableReason();

    // False with the reason in *error when the bus or KWin did not come up.
    bool start(QString* error);
    // Ends KWin, as a crash would, and starts it again on the same bus and socket.
    bool restart(QString* error);
    // The private bus, as DBUS_SESSION_BUS_ADDRESS takes it. KWin's scripting service comes
    // up on it a little after the Wayland socket answers.
    QString busAddress() const;
    QProcessEnvironment clientEnvironment() const override;

private:
    bool startKWin(QString* error);
};

} // namespace Tollgate::Test
