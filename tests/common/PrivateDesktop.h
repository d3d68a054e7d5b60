#pragma once

#include "ChildProcesses.h"

namespace Tollgate::Test {

// A private X server or compositor and the clients a test starts on it. All of them are
// children of the test process that end with this object, clients first, and also when the
// test process dies.
class PrivateDesktop
{
public:
    virtual ~PrivateDesktop() = default;
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    // The environment of a client of this desktop, Qt clients included.
    virtual QProcessEnvironment clientEnvironment() const = 0;
    // Starts a client with NAME=value settings added to its environment; null when it did
    // not start.
    QProcess* startClient(
        const QString& program, const QStringList& arguments, const QStringList& extraEnvironment = {});
    void killClients() { m_clients.killAll(); }

protected:
    PrivateDesktop() = default;

    // The server, window manager, compositor or bus; declared first, so that they end last.
    ChildProcesses m_servers;
    ChildProcesses m_clients;
};

} // namespace Tollgate::Test
