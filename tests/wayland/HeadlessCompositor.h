#pragma once

#include "common/PrivateDesktop.h"
#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <pwd.h>
#include <unistd.h>

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

    // A private bus of startBus(), as DBUS_SESSION_BUS_ADDRESS takes it.
    QString busAddress(const QString& name = QStringLiteral("bus")) const
    {
        return str("unix:path=") + m_runtime.filePath(name);
    }
    // The socket's full path, usable as WAYLAND_DISPLAY from any runtime folder.
    QString displayPath() const { return m_runtime.filePath(m_socketName); }
    QProcessEnvironment clientEnvironment() const override
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(str("WAYLAND_DISPLAY"), displayPath());
        environment.insert(str("XDG_SESSION_TYPE"), str("wayland"));
        environment.insert(str("QT_QPA_PLATFORM"), str("wayland"));
        environment.remove(str("DISPLAY"));
        return environment;
    }

protected:
    // name ("sway") names the runtime folder, the log and failure messages.
    HeadlessCompositor(const QString& name, QString socketName)
        : m_name(name)
        , m_runtime(QDir::tempPath() + str("/tollgate-%1-XXXXXX").arg(name))
        , m_socketName(std::move(socketName))
    { }

    // Why the compositor cannot run here: one of the programs is missing, or the test runs
    // as root (which the compositor refuses) and has no setpriv or nobody; empty when it can.
    static QString missing(std::initializer_list<const char*> programs, const char* rootRefusal)
    {
        for (const char* program : programs) {
            if (QStandardPaths::findExecutable(str(program)).isEmpty())
                return str("%1 is not installed").arg(str(program));
        }
        if (::geteuid() == 0
            && (QStandardPaths::findExecutable(str("setpriv")).isEmpty() || !::getpwnam("nobody")))
            return str(rootRefusal) + str(", and there is no setpriv or user nobody to run it as");
        return QString();
    }

    const QString& socketName() const { return m_socketName; }

    // Writes a file into the runtime folder; its path, or empty with the reason in *error.
    QString writeRuntimeFile(const QString& name, const QString& contents, QString* error) const
    {
        QFile file(m_runtime.filePath(name));
        if (m_runtime.isValid() && file.open(QIODevice::WriteOnly) && file.write(contents.toUtf8()) >= 0)
            return file.fileName();
        *error = str("cannot write %1 into the runtime folder").arg(name);
        return QString();
    }

    // Starts a private bus whose socket is NAME in the runtime folder. It lets any user in,
    // since the test itself stays root while the compositor runs as nobody.
    bool startBus(const QString& name, QString* error)
    {
        const QString config = writeRuntimeFile(name + str(".conf"),
            str("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>\n"
                "<policy context=\"default\"><allow user=\"*\"/><allow send_destination=\"*\"/>"
                "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n")
                .arg(m_runtime.filePath(name)),
            error);
        if (config.isEmpty()
            || !m_servers.start(str("dbus-daemon"), {str("--nofork"), str("--config-file=") + config},
                QProcessEnvironment::systemEnvironment(), ChildProcesses::Output::Logged,
                m_runtime.filePath(name + str(".log")))
            || !waitUntil([&] { return QFile::exists(m_runtime.filePath(name)); })) {
            *error = str("the private bus %1 did not start %2").arg(name, *error);
            return false;
        }
        return true;
    }

    // Starts the compositor with the runtime folder as home and NAME=value settings, as
    // nobody when root; paths below the runtime folder in handOver are given to nobody too.
    bool startCompositor(const QString& program, const QStringList& arguments, const QStringList& settings,
        const QStringList& handOver, QString* error)
    {
        QString launcher = program;
        QStringList launcherArguments;
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            // Compositors insist on a runtime folder that only their user may enter.
            for (const QString& path : QStringList {m_runtime.path()} + handOver) {
                if (!nobody
                    || ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                    *error = str("cannot hand the runtime folder to nobody");
                    return false;
                }
            }
            // The new credentials clear the death signal that ChildProcesses gives setpriv.
            launcher = str("setpriv");
            launcherArguments << str("--reuid=%1").arg(nobody->pw_uid)
                              << str("--regid=%1").arg(nobody->pw_gid) << str("--clear-groups")
                              << str("--pdeathsig=KILL") << program;
        }
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment;
        for (const QString& setting : settings
                + QStringList {str("PATH=") + qEnvironmentVariable("PATH"), str("HOME=") + m_runtime.path(),
                    str("XDG_RUNTIME_DIR=") + m_runtime.path()})
            environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        m_compositor = m_servers.start(launcher, launcherArguments + arguments, environment,
            ChildProcesses::Output::Logged, m_runtime.filePath(m_name + str(".log")));
        if (!m_compositor)
            *error = str("%1 did not start").arg(m_name);
        return m_compositor != nullptr;
    }

    void killCompositor()
    {
        m_servers.kill(m_compositor);
        m_compositor = nullptr;
    }

    // Waits until the condition holds while the compositor runs; else the reason, with the
    // last lines the compositor wrote, in *error.
    bool waitForCompositor(const std::function<bool()>& condition, const char* failure, QString* error)
    {
        const auto running = [this] { return m_compositor && !ChildProcesses::exited(m_compositor); };
        if (waitUntil([&] { return condition() || !running(); }) && running())
            return true;
        const QByteArray log = Sandbox::readFile(m_runtime.filePath(m_name + str(".log"))).right(600);
        *error = str("%1 %2: %3").arg(m_name, str(failure), QString::fromUtf8(log));
        return false;
    }

    QString m_name;
    QTemporaryDir m_runtime;

private:
    QProcess* m_compositor = nullptr;
    QString m_socketName;
};

} // namespace Tollgate::Test
