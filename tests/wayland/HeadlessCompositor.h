#pragma once

#include "common/WaitUntil.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace Tollgate::Test {

// What every private compositor of the Wayland tests shares: a runtime folder of its own
// that only the compositor's user may enter, the compositor process (as nobody when the
// test runs as root, since compositors refuse or misbehave as root), and the clients a test
// starts on it. Everything is killed when the object goes.
class HeadlessCompositor
{
public:
    static constexpr int Width = 1024;
    static constexpr int Height = 768;

    HeadlessCompositor(const HeadlessCompositor&) = delete;
    HeadlessCompositor& operator=(const HeadlessCompositor&) = delete;

    // The socket's full path, usable as WAYLAND_DISPLAY from any runtime folder.
    QString displayPath() const { return m_runtime->filePath(m_socketName); }
    QString runtimeFolder() const { return m_runtime->path(); }

    // The environment of a client of this compositor.
    virtual QProcessEnvironment clientEnvironment() const;
    // Starts a client on this compositor; null when it did not start.
    QProcess* startClient(const QString& program, const QStringList& arguments);

protected:
    // name ("sway") names the runtime folder, the log and failure messages.
    HeadlessCompositor(QString name, QString socketName);
    virtual ~HeadlessCompositor();

    // Why the compositor cannot run here for lack of setpriv or nobody; empty when it can.
    static QString rootReason(const QString& refusal);

    const QString& socketName() const { return m_socketName; }
    bool makeRuntimeFolder(QString* error);
    // Starts the compositor with the runtime folder as home, as nobody when root; paths below
    // the runtime folder in handOver are given to nobody as well.
    bool startCompositor(const QString& program, const QStringList& arguments,
        QProcessEnvironment environment, const QStringList& handOver, QString* error);
    void killClients();
    void killCompositor();
    // The last lines the compositor wrote, for a failure message.
    QString log() const;

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QProcess> m_compositor;

private:
    std::vector<std::unique_ptr<QProcess>> m_clients;
    QString m_name;
    QString m_socketName;
};

} // namespace Tollgate::Test
