#pragma once

#include "common/PrivateDesktop.h"
#include "common/WaitUntil.h"

#include <QTemporaryDir>
#include <memory>

namespace Tollgate::Test {

// What every private compositor of the Wayland tests shares: a runtime folder of its own
// that only the compositor's user may enter, and the compositor process (as nobody when the
// test runs as root, since compositors refuse or misbehave as root).
class HeadlessCompositor : public PrivateDesktop
{
public:
    static constexpr int Width = 1024;
    static constexpr int Height = 768;

    // Everything ends before the runtime folder goes.
    ~HeadlessCompositor() override
    {
        killClients();
        m_servers.killAll();
    }

    // The socket's full path, usable as WAYLAND_DISPLAY from any runtime folder.
    QString displayPath() const { return m_runtime->filePath(m_socketName); }
    QProcessEnvironment clientEnvironment() const override;

protected:
    // name ("sway") names the runtime folder, the log and failure messages.
    HeadlessCompositor(QString name, QString socketName);

    // Why the compositor cannot run here for lack of setpriv or nobody; empty when it can.
    static QString rootReason(const QString& refusal);

    const QString& socketName() const { return m_socketName; }
    bool makeRuntimeFolder(QString* error);
    // Starts the compositor with the runtime folder as home, as nobody when root; paths below
    // the runtime folder in handOver are given to nobody as well.
    bool startCompositor(const QString& program, const QStringList& arguments,
        QProcessEnvironment environment, const QStringList& handOver, QString* error);
    void killCompositor();
    bool compositorRunning() const { return m_compositor && !ChildProcesses::exited(m_compositor); }
    // The last lines the compositor wrote, for a failure message.
    QString log() const;

    std::unique_ptr<QTemporaryDir> m_runtime;

private:
    QProcess* m_compositor = nullptr;
    QString m_name;
    QString m_socketName;
};

} // namespace Tollgate::Test
