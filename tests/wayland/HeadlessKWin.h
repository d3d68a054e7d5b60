#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace Tollgate::Test {

// A private KWin in its virtual mode (one 1024 x 768 output) on a private session bus, in a
// runtime folder of its own, and the clients a test starts on it. KWin runs from a copy of
// its binary: the installed one carries a file capability that an unprivileged start (and a
// container without that capability) refuses. As root it runs as nobody. The bus lets any
// user in, since the test itself stays root. Everything is killed when the object goes.
class HeadlessKWin
{
public:
    static constexpr int Width = 1024;
    static constexpr int Height = 768;

    HeadlessKWin() = default;
    ~HeadlessKWin();
    HeadlessKWin(const HeadlessKWin&) = delete;
    HeadlessKWin& operator=(const HeadlessKWin&) = delete;

    // Why KWin tests cannot run here, or empty when they can.
    static QString unavailableReason();

    // False with the reason in *error when the bus or KWin did not come up.
    bool start(QString* error);
    // Ends KWin, as a crash would, and starts it again on the same bus and socket.
    bool restart(QString* error);
    QString displayPath() const;
    // The private bus, as DBUS_SESSION_BUS_ADDRESS takes it. KWin's scripting service comes
    // up on it a little after the Wayland socket answers.
    QString busAddress() const;

    // Starts a client on this compositor; null when it did not start.
    QProcess* startClient(const QString& program, const QStringList& arguments);

private:
    bool startKWin(QString* error);
    QProcessEnvironment clientEnvironment() const;
    QString log() const;

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QProcess> m_bus;
    std::unique_ptr<QProcess> m_kwin;
    std::vector<std::unique_ptr<QProcess>> m_clients;
};

} // namespace Tollgate::Test
