#pragma once

#include "common/WaitUntil.h"
#include "platform/x11/X11Connection.h"

#include <QProcess>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace Tollgate::Test {

// A private Xvfb on a free display, optionally with openbox, and the clients a test starts
// on it. Everything is killed when the object goes.
class XServer
{
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Why X tests cannot run here, or empty when they can.
    static QString unavailableReason(bool withWindowManager);

    bool start(bool withWindowManager);
    // Kills the X server (and the window manager) while clients still use it, as a crash
    // of the display would.
    void killServer();
    const QString& display() const { return m_display; }
    // A connection of the test's own, for checking what the backend did and driving input.
    Platform::X11Connection& connection() { return *m_connection; }

    // Waits until the server has acted on everything sent through the test connection.
    void roundTrip();
    // The first keycode whose keysyms include keysym; 0 for none.
    quint8 keycodeOf(quint32 keysym);

    // Starts a client on this display; null when it did not start.
    QProcess* startClient(
        const QString& program, const QStringList& arguments, const QStringList& extraEnvironment = {});

private:
    bool windowManagerManagesNewWindows();
    std::unique_ptr<QProcess> launch(
        const QString& program, const QStringList& arguments, const QStringList& extraEnvironment);

    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    std::vector<std::unique_ptr<QProcess>> m_clients;
    std::shared_ptr<Platform::X11Connection> m_connection;
    QString m_display;
};

} // namespace Tollgate::Test
