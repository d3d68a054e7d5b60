#pragma once

#include "HeadlessCompositor.h"
#include "platform/wayland/WaylandConnection.h"

namespace Tollgate::Test {

// A private KWin in its virtual mode (one 1024 x 768 output) on a private session bus, in a
// runtime folder of its own, and the clients a test starts on it. KWin runs from a copy of
// its binary: the installed one carries a file capability that an unprivileged start (and a
// container without that capability) refuses. As root it runs as nobody.
class HeadlessKWin : public HeadlessCompositor
{
public:
    HeadlessKWin()
        : HeadlessCompositor(str("kwin"), str("wayland-kwin"))
    { }

    // Why KWin tests cannot run here, or empty when they can.
    static QString unavailableReason() { return missing({"kwin_wayland", "dbus-daemon"}, "running as root"); }

    // False with the reason in *error when the bus or KWin did not come up.
    bool start(QString* error) { return startBus(str("bus"), error) && restart(error); }

    // Ends KWin, as a crash would, and starts it again on the same bus and socket; also the
    // first start.
    bool restart(QString* error)
    {
        killCompositor();
        const QString copy = m_runtime.filePath(str("kwin_wayland"));
        if (!QFile::exists(copy) && !QFile::copy(QStandardPaths::findExecutable(str("kwin_wayland")), copy)) {
            *error = str("cannot copy kwin_wayland");
            return false;
        }
        const QStringList arguments {str("--virtual"), str("--width"), QString::number(Width),
            str("--height"), QString::number(Height), str("--socket"), socketName(), str("--no-lockscreen"),
            str("--no-global-shortcuts"), str("--no-kactivities")};
        // Software painting (KWIN_COMPOSE=Q): there is no GPU here.
        const QStringList settings {str("XDG_CONFIG_HOME=") + m_runtime.filePath(str("config")),
            str("DBUS_SESSION_BUS_ADDRESS=") + busAddress(), str("KWIN_COMPOSE=Q")};
        // The socket comes before KWin answers on it.
        const auto answers = [this] {
            QString ignored;
            return Platform::WaylandConnection::open(QFile::encodeName(displayPath()), &ignored) != nullptr;
        };
        return startCompositor(copy, arguments, settings, {}, error)
            && waitForCompositor([&] { return QFile::exists(displayPath()); }, "did not come up", error)
            && waitForCompositor(answers, "does not answer", error);
    }

    // KWin's scripting service comes up on the bus a little after the Wayland socket answers.
    QProcessEnvironment clientEnvironment() const override
    {
        QProcessEnvironment environment = HeadlessCompositor::clientEnvironment();
        environment.insert(str("DBUS_SESSION_BUS_ADDRESS"), busAddress());
        environment.remove(str("SWAYSOCK"));
        return environment;
    }
};

} // namespace Tollgate::Test
