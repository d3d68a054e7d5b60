#include "WindowsGuard.h"

#include "guard/GuardConfig.h"
#include "lang/MessageCatalogue.h"
#include "lang/ProgramPaths.h"
#include "platform/Registry.h"
#include "platform/win32/Win32Accounts.h"
#include "platform/win32/Win32ProcessStarts.h"
#include "platform/win32/Win32ProcessTable.h"
#include "platform/win32/Win32ProgramFiles.h"
#include "platform/win32/Win32SessionProgram.h"
#include "store/DocumentWatcher.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace Tollgate {

using Platform::ProcessId;
using Priority = Platform::SystemLog::Priority;

namespace {

    // A text value of the configuration key; values of other types are not ours.
    QString textValue(const Platform::Registry& registry, const QString& key, const QString& name)
    {
        const std::optional<Platform::Registry::Value> value
            = registry.value(Platform::Registry::LocalMachine, key, name);
        if (!value || (value->type != Platform::Registry::Sz && value->type != Platform::Registry::ExpandSz))
            return {};
        QByteArray data = value->data.left(64 * 1024);
        if (const qsizetype end = data.indexOf('\0'); end >= 0)
            data.truncate(end);
        return QString::fromUtf8(data).trimmed();
    }

} // namespace

WindowsGuard::WindowsGuard(Options options, Platform::Registry& registry, Platform::SystemLog& systemLog,
    bool toStandardError, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_registry(registry)
    , m_systemLog(systemLog)
    , m_toStandardError(toStandardError)
    , m_store(std::make_unique<SettingsStore>())
    , m_catalogue(std::make_unique<MessageCatalogue>(
          *m_store, ProgramPaths::forExecutable(QCoreApplication::applicationDirPath())))
{ }

WindowsGuard::~WindowsGuard()
{
    // The start events' thread first: it queues work for this object.
    m_starts.reset();
    for (auto& [key, kept] : m_kept)
        stop(*kept);
}

void WindowsGuard::log(Priority priority, const QString& message, const Platform::SystemLogFields& fields)
{
    if (m_toStandardError) {
        fprintf(stderr, "TollgateGuard: %s\n", qPrintable(message));
        fflush(stderr);
    }
    m_systemLog.write(priority, message, fields);
}

QString WindowsGuard::nameOf(const QString& sid)
{
    if (m_names.size() > 4096)
        m_names.clear();
    auto it = m_names.find(sid);
    if (it == m_names.end())
        it = m_names.insert(sid, Platform::Win32Accounts::nameOf(sid));
    return *it;
}

void WindowsGuard::start()
{
    m_clock.start();
    QString why = QStringLiteral("turned off");
    if (m_options.startEvents) {
        m_starts = std::make_unique<Platform::Win32ProcessStarts>([this](ProcessId pid) {
            QMetaObject::invokeMethod(
                this, [this, pid] { check(pid); }, Qt::QueuedConnection);
        });
        if (!m_starts->start(why))
            m_starts.reset();
    }
    m_how = m_starts ? QStringLiteral("as they start (process start events)")
                     : QStringLiteral("on the process list every %1 ms (no process start events: %2)")
                           .arg(TickMs)
                           .arg(why);
    log(Priority::Notice, QStringLiteral("enforcing: blocked programs are ended %1").arg(m_how),
        {.messageId = Platform::SystemLogMessageId::GuardStatus});
    connect(&m_sweepTimer, &QTimer::timeout, this, &WindowsGuard::sweep);
    m_sweepTimer.start(m_starts ? SweepWithEventsMs : TickMs);
    connect(&m_sessionsTimer, &QTimer::timeout, this, [this] {
        readConfig();
        updateSessions();
    });
    m_sessionsTimer.start(SessionsMs);
    readConfig();
    updateSessions();
}

void WindowsGuard::readConfig()
{
    const QString document = textValue(m_registry, m_options.configKey, QStringLiteral("Document"));
    const QString accounts = textValue(m_registry, m_options.configKey, QStringLiteral("Accounts"));
    const QStringList read {document, accounts};
    if (read == m_configRead)
        return;
    m_configRead = read;
    const QString where = QStringLiteral("HKEY_LOCAL_MACHINE\\") + m_options.configKey;

    GuardConfig config;
    config.addAccounts(accounts);
    m_managedUsers.clear();
    m_managedGroups.clear();
    const auto resolve = [&](const QStringList& names, QSet<QString>& into, const char* what) {
        for (const QString& name : names) {
            const QString sid = Platform::Win32Accounts::sidOf(name);
            if (sid.isEmpty())
                log(Priority::Warning, QStringLiteral("no %1 %2").arg(QLatin1String(what), name));
            else if (Platform::Win32Accounts::isServiceAccount(sid))
                log(Priority::Warning,
                    QStringLiteral("%1 is an account services run as: never managed").arg(name));
            else
                into.insert(sid);
        }
    };
    resolve(config.accounts, m_managedUsers, "account");
    resolve(config.groups, m_managedGroups, "group");
    if (m_managedUsers.isEmpty() && m_managedGroups.isEmpty())
        log(Priority::Warning,
            QStringLiteral("no managed accounts in %1 (Accounts): nothing is enforced").arg(where));

    const QString path = document.isEmpty() ? QString() : QDir::cleanPath(document);
    if (path != m_documentPath || !m_documentWatcher) {
        m_documentPath = path;
        m_documentState.clear();
        m_documentWatcher = std::make_unique<DocumentWatcher>(m_documentPath);
        connect(m_documentWatcher.get(), &DocumentWatcher::changed, this, &WindowsGuard::readDocument);
        // Tollgate.exe follows the new document from its next start.
        for (auto& [key, kept] : m_kept) {
            if (kept->program) {
                stop(*kept);
                startIn(*kept);
            }
        }
    }
    readDocument();
    m_seen.clear(); // other accounts may be managed now
    m_ids.clear();
}

void WindowsGuard::readDocument()
{
    if (m_documentPath.isEmpty()) {
        log(Priority::Warning, QStringLiteral("no document is configured (Document): nothing is blocked"));
        m_policy.setBlockedNames({});
        return;
    }
    const GuardConfig::DocumentBytes read = GuardConfig::readDocument(m_documentPath);
    const QString& error = read.error;
    if (!error.isEmpty()) {
        const QByteArray state = "error:" + error.toUtf8();
        if (state != m_documentState)
            log(Priority::Warning,
                QStringLiteral("document %1 not read (%2); the last good rules stay")
                    .arg(QDir::toNativeSeparators(m_documentPath), error),
                {.messageId = Platform::SystemLogMessageId::DocumentRejected});
        m_documentState = state;
        return;
    }
    if (read.bytes == m_documentState)
        return;
    RuleSet rules;
    RuleSetDocument document(rules, *m_catalogue);
    document.loadBytes(m_documentPath, read.bytes);
    const QStringList blocked = ExecPolicy::blockedNames(rules);
    m_policy.setBlockedNames(blocked);
    m_documentState = read.bytes;
    log(Priority::Notice,
        QStringLiteral("rules loaded from %1: %2 blocked programs (%3)")
            .arg(QDir::toNativeSeparators(m_documentPath))
            .arg(blocked.size())
            .arg(blocked.join(QStringLiteral(", "))),
        {.messageId = Platform::SystemLogMessageId::DocumentLoaded});
    m_seen.clear(); // what ran before may be blocked now
    m_ids.clear();
    sweep();
}

bool WindowsGuard::manages(const Platform::Win32Accounts::Owner& owner) const
{
    if (Platform::Win32Accounts::isServiceAccount(owner.user))
        return false;
    return m_managedUsers.contains(owner.user)
        || std::any_of(owner.groups.cbegin(), owner.groups.cend(),
            [this](const QString& group) { return m_managedGroups.contains(group); });
}

void WindowsGuard::updateSessions()
{
    QSet<QString> wanted;
    if (!m_documentPath.isEmpty()) {
        for (const Platform::Win32Sessions::Session& session : Platform::Win32Sessions::interactive()) {
            if (!manages(session.owner))
                continue;
            const QString key = QString::number(session.id) + u' ' + session.owner.user;
            wanted.insert(key);
            if (m_kept.count(key))
                continue;
            auto kept = std::make_unique<Kept>();
            kept->session = session;
            kept->account = nameOf(session.owner.user);
            kept->restart.setSingleShot(true);
            Kept& ref = *kept;
            connect(&kept->restart, &QTimer::timeout, this, [this, &ref] { startIn(ref); });
            m_kept.emplace(key, std::move(kept));
            startIn(ref);
        }
    }
    std::erase_if(m_kept, [&](const auto& entry) {
        if (wanted.contains(entry.first))
            return false;
        stop(*entry.second);
        return true;
    });
}

void WindowsGuard::startIn(Kept& kept)
{
    QString error;
    kept.started.start();
    kept.program = Platform::Win32SessionProgram::start(kept.session.id, m_options.program,
        {QDir::toNativeSeparators(m_documentPath)}, {QStringLiteral("TOLLGATE_GUARDED=1")}, error);
    if (!kept.program) {
        const std::optional<int> delayMs = kept.restarts.ended(false, -1, -1);
        log(Priority::Warning,
            QStringLiteral("Tollgate could not be started in session %1 of %2: %3")
                .arg(kept.session.id)
                .arg(kept.account, error));
        kept.restart.start(*delayMs);
        return;
    }
    connect(kept.program.get(), &Platform::Win32SessionProgram::finished, this,
        [this, &kept](int exitCode) { ended(kept, exitCode); });
    log(Priority::Info,
        QStringLiteral("Tollgate started in session %1 of %2 (process %3)")
            .arg(kept.session.id)
            .arg(kept.account)
            .arg(kept.program->processId()));
}

void WindowsGuard::stop(Kept& kept)
{
    kept.restart.stop();
    if (!kept.program)
        return;
    kept.program->disconnect(this);
    kept.program->terminate();
    kept.program.reset();
}

void WindowsGuard::ended(Kept& kept, int exitCode)
{
    const QString where = QStringLiteral("session %1 of %2").arg(kept.session.id).arg(kept.account);
    const qint64 pid = kept.program->processId();
    kept.program.release()->deleteLater();
    const std::optional<int> delayMs = kept.restarts.ended(true, exitCode, kept.started.elapsed());
    if (!delayMs) {
        // Not started again until the account signs in anew or the document moves.
        log(Priority::Notice, QStringLiteral("Tollgate in %1 was quit by the administrator").arg(where),
            {.account = kept.account});
        return;
    }
    log(Priority::Warning,
        QStringLiteral("Tollgate in %1 (process %2) ended with exit code %3; starting it again")
            .arg(where)
            .arg(pid)
            .arg(exitCode),
        {.messageId = Platform::SystemLogMessageId::Tamper, .account = kept.account});
    kept.restart.start(*delayMs);
}

void WindowsGuard::sweep()
{
    if (!m_policy.hasRules())
        return;
    // The names are read when the ids changed, and once a second anyway, for a new process
    // that took over the id of one that ended within a tick.
    QList<ProcessId> ids = Platform::Win32ProcessTable::processIds();
    std::sort(ids.begin(), ids.end());
    if (ids == m_ids && ++m_quietSweeps < 1000 / m_sweepTimer.interval())
        return;
    m_ids = std::move(ids);
    m_quietSweeps = 0;
    QHash<ProcessId, QString> seen;
    for (const Platform::ProcessEntry& entry : Platform::Win32ProcessTable().snapshot()) {
        seen.insert(entry.pid, entry.name);
        if (m_seen.value(entry.pid) != entry.name)
            check(entry.pid);
    }
    m_seen = std::move(seen);
}

void WindowsGuard::check(ProcessId pid)
{
    if (!m_policy.hasRules() || pid == QCoreApplication::applicationPid())
        return;
    for (const auto& [key, kept] : m_kept) {
        if (kept->program && kept->program->processId() == qint64(pid))
            return;
    }
    const std::optional<Platform::Win32Accounts::Owner> owner = Platform::Win32Accounts::ownerOf(pid);
    if (!owner || !manages(*owner))
        return;
    const QString path = Platform::Win32ProgramFiles::imagePath(pid);
    if (path.isEmpty())
        return;
    // A file that cannot be opened is still compared by its name.
    Platform::ProgramFile file;
    file.path = path;
    if (std::optional<Platform::ProgramFile> opened = Platform::Win32ProgramFiles::open(path))
        file = std::move(*opened);
    const ExecPolicy::Verdict verdict = m_policy.decide(file);
    if (!verdict.denied()
        || Platform::Win32ProcessTable().terminate(pid) != Platform::TerminateResult::Terminated)
        return;
    if (!verdict.byContent)
        m_policy.learn(file, verdict.rule);
    const std::optional<int> leftOut = m_log.admit(owner->user + u'\n' + path, m_clock.elapsed());
    if (!leftOut)
        return;
    const QString account = nameOf(owner->user);
    log(Priority::Notice,
        GuardLog::blocked(false, QDir::toNativeSeparators(path), account, pid, verdict, *leftOut),
        {.messageId = Platform::SystemLogMessageId::Ended,
            .rule = verdict.rule,
            .account = account,
            .program = path});
}

} // namespace Tollgate
