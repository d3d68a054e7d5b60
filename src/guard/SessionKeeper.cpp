#include "SessionKeeper.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <csignal>
#include <cstring>

namespace Tollgate {

SessionKeeper::SessionKeeper(QString program, Report report, QObject* parent)
    : QObject(parent)
    , m_program(std::move(program))
    , m_report(std::move(report))
{ }

SessionKeeper::~SessionKeeper()
{
    for (auto& [key, kept] : m_kept)
        stop(*kept);
}

void SessionKeeper::stop(Kept& kept)
{
    if (!kept.process)
        return;
    kept.process->disconnect(this);
    kept.process->kill();
    kept.process->waitForFinished(1000);
    kept.process.reset();
}

void SessionKeeper::setDocument(const QString& path)
{
    if (path == m_document)
        return;
    m_document = path;
    for (auto& [key, kept] : m_kept) {
        if (kept->process) {
            stop(*kept);
            start(*kept);
        }
    }
}

void SessionKeeper::setSessions(const QList<Session>& sessions)
{
    QSet<QString> wanted;
    for (const Session& session : sessions) {
        wanted.insert(session.key());
        if (m_kept.count(session.key()))
            continue;
        const std::optional<Platform::Account> account = Platform::Accounts::byName(session.user);
        if (!account || account->uid == 0) {
            m_report(session.user,
                QStringLiteral("no session program for %1: not an account it may run as").arg(session.user),
                false);
            continue;
        }
        auto kept = std::make_unique<Kept>();
        kept->session = session;
        kept->account = *account;
        kept->restart.setSingleShot(true);
        Kept& ref = *kept;
        connect(&kept->restart, &QTimer::timeout, this, [this, &ref] { start(ref); });
        m_kept.emplace(session.key(), std::move(kept));
        start(ref);
    }
    std::erase_if(m_kept, [&](const auto& entry) {
        if (wanted.contains(entry.first))
            return false;
        stop(*entry.second);
        return true;
    });
}

QProcessEnvironment SessionKeeper::environmentFor(const Kept& kept) const
{
    const Platform::Account& account = kept.account;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), account.home);
    environment.insert(QStringLiteral("USER"), account.name);
    environment.insert(QStringLiteral("LOGNAME"), account.name);
    environment.insert(
        QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"));
    environment.insert(QStringLiteral("LANG"), qEnvironmentVariable("LANG", QStringLiteral("C.UTF-8")));
    environment.insert(QStringLiteral("TOLLGATE_GUARDED"), QStringLiteral("1"));
    const QString runtime = !kept.session.runtimePath.isEmpty()
        ? kept.session.runtimePath
        : QStringLiteral("/run/user/%1").arg(account.uid);
    if (QFileInfo(runtime).isDir()) {
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        if (QFileInfo::exists(runtime + QStringLiteral("/bus")))
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus"));
    }
    if (!kept.session.display.isEmpty()) {
        environment.insert(QStringLiteral("DISPLAY"), kept.session.display);
        // Where display managers leave the account's X authority.
        for (const QString& candidate :
            {runtime + QStringLiteral("/gdm/Xauthority"), account.home + QStringLiteral("/.Xauthority")}) {
            if (QFileInfo::exists(candidate)) {
                environment.insert(QStringLiteral("XAUTHORITY"), candidate);
                break;
            }
        }
    } else {
        const QStringList sockets = QDir(runtime).entryList({QStringLiteral("wayland-*")}, QDir::System);
        const auto socket = std::find_if(
            sockets.cbegin(), sockets.cend(), [](const QString& name) { return !name.endsWith(u".lock"); });
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"),
            socket == sockets.cend() ? QStringLiteral("wayland-0") : *socket);
    }
    return environment;
}

void SessionKeeper::start(Kept& kept)
{
    kept.process = std::make_unique<QProcess>();
    QProcess& process = *kept.process;
    process.setProgram(m_program);
    process.setArguments({m_document});
    process.setProcessEnvironment(environmentFor(kept));
    process.setWorkingDirectory(
        QFileInfo(kept.account.home).isDir() ? kept.account.home : QStringLiteral("/"));
    // Its input is the guard's line to it; its output goes where the guard's does.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    Platform::Accounts::runAs(process, kept.account);
    connect(&process, &QProcess::finished, this,
        [this, &kept](int exitCode, QProcess::ExitStatus status) { ended(kept, exitCode, status); });
    connect(&process, &QProcess::errorOccurred, this, [this, &kept](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ended(kept, -1, QProcess::CrashExit);
    });
    kept.quit = false;
    kept.started.start();
    process.start();
}

void SessionKeeper::ended(Kept& kept, int exitCode, QProcess::ExitStatus status)
{
    if (kept.restart.isActive() || !kept.process)
        return;
    const QString where = kept.session.display.isEmpty()
        ? QStringLiteral("%1's session").arg(kept.session.user)
        : QStringLiteral("%1's session on %2").arg(kept.session.user, kept.session.display);
    const std::optional<int> delayMs = kept.restarts.ended(status == QProcess::NormalExit, exitCode,
        exitCode == -1 || !kept.started.isValid() ? -1 : kept.started.elapsed());
    if (!delayMs) {
        kept.quit = true;
        m_report(kept.session.user, QStringLiteral("Tollgate in %1 was quit by the administrator").arg(where),
            false);
        kept.process.release()->deleteLater();
        return;
    }
    QString how;
    if (exitCode == -1)
        how = QStringLiteral("could not be started: %1").arg(kept.process->errorString());
    else if (status == QProcess::CrashExit)
        how = QStringLiteral("was ended by signal %1 (%2)")
                  .arg(exitCode)
                  .arg(QString::fromLocal8Bit(strsignal(exitCode)));
    else
        how = QStringLiteral("exited with code %1").arg(exitCode);
    kept.process.release()->deleteLater();
    m_report(kept.session.user, QStringLiteral("Tollgate in %1 %2; starting it again").arg(where, how), true);
    kept.restart.start(*delayMs);
}

void SessionKeeper::tellBlocked(uint uid, const QString& program, const QString& action)
{
    QString name = program;
    name.remove(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")));
    const QByteArray line = "blocked\t" + name.toUtf8() + '\t' + action.toUtf8() + '\n';
    for (auto& [key, kept] : m_kept) {
        if (kept->account.uid == uid && kept->process && kept->process->state() == QProcess::Running)
            kept->process->write(line);
    }
}

QList<qint64> SessionKeeper::processIds() const
{
    QList<qint64> pids;
    for (const auto& [key, kept] : m_kept) {
        if (kept->process && kept->process->state() == QProcess::Running)
            pids.append(kept->process->processId());
    }
    return pids;
}

} // namespace Tollgate
