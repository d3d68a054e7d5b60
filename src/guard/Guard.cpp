#include "Guard.h"

#include "lang/ActionCodes.h"
#include "lang/MessageCatalogue.h"
#include "platform/linux/Accounts.h"
#include "platform/linux/ExecGate.h"
#include "platform/linux/LogindSessions.h"
#include "platform/linux/ProcProcessTable.h"
#include "platform/linux/ProgramFiles.h"
#include "profile/TextFile.h"
#include "store/DocumentWatcher.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace Tollgate {

using Platform::ProcessId;
using Priority = Platform::SystemLog::Priority;

namespace {

    bool isLoader(const QString& path)
    {
        static const QRegularExpression loader(QStringLiteral("^ld([-.][^/]*)?\\.so(\\.[^/]*)?$"));
        return loader.match(QFileInfo(path).fileName()).hasMatch();
    }

    // Whether standard error is already the journal (systemd says so in JOURNAL_STREAM),
    // where every line would otherwise arrive twice.
    bool standardErrorIsJournal()
    {
        const QList<QByteArray> stream = qgetenv("JOURNAL_STREAM").split(':');
        struct stat info
        {
        };
        return stream.size() == 2 && ::fstat(STDERR_FILENO, &info) == 0
            && stream[0] == QByteArray::number(quint64(info.st_dev))
            && stream[1] == QByteArray::number(quint64(info.st_ino));
    }

    // The program a dynamic loader's arguments name: the first word after its options.
    QByteArray loadedProgram(const QList<QByteArray>& arguments)
    {
        static const QSet<QByteArray> withValue {"--library-path", "--inhibit-rpath", "--audit", "--preload",
            "--argv0", "--glibc-hwcaps-prefix", "--glibc-hwcaps-mask"};
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            if (arguments[i] == "--")
                return arguments.value(i + 1);
            if (!arguments[i].startsWith("--"))
                return arguments[i];
            if (withValue.contains(arguments[i]))
                ++i;
        }
        return {};
    }

} // namespace

Guard::Guard(Options options, Platform::SystemLog& systemLog, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_systemLog(systemLog)
    , m_toStandardError(!standardErrorIsJournal())
    , m_store(std::make_unique<SettingsStore>())
    , m_catalogue(std::make_unique<MessageCatalogue>(
          *m_store, ProgramPaths::forExecutable(QCoreApplication::applicationDirPath())))
{
    m_sessions = new SessionKeeper(
        m_options.program,
        [this](const QString& user, const QString& message, bool tamper) {
            log(tamper ? Priority::Warning : Priority::Notice, message,
                {.messageId = tamper ? Platform::SystemLogMessageId::Tamper : QByteArray(), .account = user});
        },
        this);
}

Guard::~Guard()
{
    // The gate first: its thread asks the policy, which goes with this object.
    if (m_gate)
        m_gate->stop();
    if (m_statusWritten)
        QFile::remove(QString::fromLatin1(Platform::ProcProcessTable::GuardStatusFile));
}

void Guard::writeStatus()
{
    // For the session program's --check-platform; a guard that cannot write it still guards.
    const QString path = QString::fromLatin1(Platform::ProcProcessTable::GuardStatusFile);
    QDir().mkpath(QFileInfo(path).path());
    const QByteArray text = QByteArray::number(QCoreApplication::applicationPid()) + '\n'
        + describe(m_mode, m_why).toUtf8() + '\n';
    m_statusWritten = TextFile::writeAtomically(path, text).isEmpty();
}

Guard::Mode Guard::probe(const Options& options, QString& why)
{
    if (::geteuid() != 0) {
        why = QStringLiteral("the guard runs as root");
        return Mode::Nothing;
    }
    if (!options.permissionEvents) {
        why = QStringLiteral("permission events were turned off");
        return Mode::End;
    }
    return Platform::ExecGate::available(why) ? Mode::Deny : Mode::End;
}

QString Guard::describe(Mode mode, const QString& why)
{
    switch (mode) {
    case Mode::Deny:
        return QStringLiteral("deny: blocked programs are denied before they run");
    case Mode::End:
        return QStringLiteral(
            "end: blocked programs are ended as they start, not denied before they run (%1)")
            .arg(why);
    case Mode::Nothing:
        break;
    }
    return QStringLiteral("nothing: %1").arg(why);
}

void Guard::log(Priority priority, const QString& message, const Platform::SystemLogFields& fields)
{
    if (m_toStandardError) {
        fprintf(stderr, "tollgate-guard: %s\n", qPrintable(message));
        fflush(stderr);
    }
    m_systemLog.write(priority, message, fields);
}

void Guard::start()
{
    m_clock.start();
    m_loaderRunsTimer.setInterval(LoaderRunLookMs);
    m_loaderRunsTimer.setSingleShot(true);
    connect(&m_loaderRunsTimer, &QTimer::timeout, this, &Guard::checkLoaderRuns);
    m_mode = probe(m_options, m_why);
    m_processes = std::make_unique<Platform::ProcProcessTable>(
        QByteArrayLiteral("/proc"), Platform::ProcProcessTable::BirthWatch::Best);
    if (m_mode == Mode::Deny) {
        m_gate = std::make_unique<Platform::ExecGate>([this](uint uid) { return m_policy.manages(uid); },
            [this](const Platform::ExecGate::Request& request) {
                return decideExec(request.pid, request.uid, request.file);
            });
        QString why;
        if (!m_gate->start(why)) {
            m_gate.reset();
            m_mode = Mode::End;
            m_why = why;
        }
    }
    if (m_mode == Mode::End)
        m_processes->setChangeHandler([this] { processesChanged(); });

    m_configWatcher = new DocumentWatcher(m_options.configPath, this);
    connect(m_configWatcher, &DocumentWatcher::changed, this, [this] { readConfig(); });
    if (QDBusConnection::systemBus().isConnected()) {
        m_logind = new Platform::LogindSessions(QDBusConnection::systemBus(), this);
        connect(m_logind, &Platform::LogindSessions::changed, this, [this] { updateSessions(); });
    }
    log(Priority::Notice, QStringLiteral("enforcing: %1").arg(describe(m_mode, m_why)),
        {.messageId = Platform::SystemLogMessageId::GuardStatus});
    writeStatus();
    if (m_gate)
        log(Priority::Info,
            QStringLiteral("execs are asked about on %1").arg(m_gate->marked().join(QStringLiteral(", "))));
    readConfig();
}

void Guard::readConfig()
{
    const TextFile::ReadResult read = QFileInfo(m_options.configPath).isFile()
        ? TextFile::read(m_options.configPath, 1024 * 1024)
        : TextFile::ReadResult {false, {}, QStringLiteral("no such file")};
    if (!read.ok) {
        log(Priority::Warning,
            QStringLiteral("configuration %1 not read (%2); the last good one stays")
                .arg(m_options.configPath, read.error));
        if (m_documentPath.isEmpty())
            return;
    } else {
        m_config = GuardConfig::parse(read.text);
        for (const QString& warning : std::as_const(m_config.warnings))
            log(Priority::Warning, QStringLiteral("%1: %2").arg(m_options.configPath, warning));
    }

    QSet<uint> managed;
    for (const QString& name : std::as_const(m_config.accounts)) {
        if (const std::optional<Platform::Account> account = Platform::Accounts::byName(name))
            managed.insert(account->uid);
        else
            log(Priority::Warning, QStringLiteral("no account %1").arg(name));
    }
    for (const QString& group : std::as_const(m_config.groups)) {
        if (const std::optional<QSet<uint>> members = Platform::Accounts::membersOf(group))
            managed.unite(*members);
        else
            log(Priority::Warning, QStringLiteral("no group %1").arg(group));
    }
    if (managed.remove(0))
        log(Priority::Warning, QStringLiteral("root is never managed"));
    if (managed.isEmpty())
        log(Priority::Warning,
            QStringLiteral("no managed accounts in %1 (Accounts=): nothing is enforced")
                .arg(m_options.configPath));
    m_policy.setManagedAccounts(managed);

    const QString document = QDir::cleanPath(m_config.document);
    if (document != m_documentPath || !m_documentWatcher) {
        m_documentPath = document;
        m_documentState.clear();
        m_documentWatcher = std::make_unique<DocumentWatcher>(m_documentPath);
        connect(m_documentWatcher.get(), &DocumentWatcher::changed, this, [this] { readDocument(); });
    }
    m_sessions->setDocument(m_documentPath);
    readDocument();
    updateSessions();
}

void Guard::readDocument()
{
    if (m_documentPath.isEmpty()) {
        log(Priority::Warning, QStringLiteral("no document is configured: nothing is blocked"));
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
                    .arg(m_documentPath, error),
                {.messageId = Platform::SystemLogMessageId::DocumentRejected});
        m_documentState = state;
        return;
    }
    const QFileInfo info(m_documentPath);
    if (info.ownerId() != 0 || (info.permissions() & (QFile::WriteGroup | QFile::WriteOther)))
        log(Priority::Warning,
            QStringLiteral(
                "document %1 can be changed by others than root: managed accounts must not be able to")
                .arg(m_documentPath));

    RuleSet rules;
    RuleSetDocument document(rules, *m_catalogue);
    const RuleSetDocument::LoadResult result = document.loadBytes(m_documentPath, read.bytes);
    const QStringList blocked = ExecPolicy::blockedNames(rules);
    m_policy.setBlockedNames(blocked);
    learnFromSearchPath(blocked);
    m_documentState = read.bytes;
    log(Priority::Notice,
        QStringLiteral("rules loaded from %1: %2 blocked programs (%3)")
            .arg(m_documentPath)
            .arg(blocked.size())
            .arg(blocked.join(QStringLiteral(", "))),
        {.messageId = Platform::SystemLogMessageId::DocumentLoaded});
    sweep();
}

void Guard::learnFromSearchPath(const QStringList& names)
{
    QStringList folders = qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts);
    for (const char* extra :
        {"/usr/local/bin", "/usr/bin", "/bin", "/usr/local/games", "/usr/games", "/snap/bin"}) {
        if (!folders.contains(QLatin1String(extra)))
            folders.append(QLatin1String(extra));
    }
    for (const QString& name : names) {
        if (name.contains(u'/'))
            continue;
        for (const QString& folder : std::as_const(folders)) {
            for (const QString& candidate : QSet<QString> {name, name.toLower()}) {
                if (const auto program
                    = Platform::OpenProgram::open(QFile::encodeName(folder + u'/' + candidate)))
                    m_policy.learn(program->file(), name);
            }
        }
    }
}

void Guard::updateSessions()
{
    QList<SessionKeeper::Session> sessions;
    const auto managed = [this](const QString& user) {
        const std::optional<Platform::Account> account = Platform::Accounts::byName(user);
        return account && m_policy.manages(account->uid);
    };
    for (const GuardConfig::Session& session : std::as_const(m_config.sessions)) {
        if (managed(session.user))
            sessions.append({session.user, session.display, {}});
        else
            log(Priority::Warning,
                QStringLiteral("session of %1 left alone: not a managed account").arg(session.user));
    }
    if (m_logind) {
        for (const Platform::GraphicalSession& session : m_logind->sessions()) {
            // An X11 session whose display logind does not know cannot be reached.
            if (m_policy.manages(session.uid) && !(session.type == u"x11" && session.display.isEmpty()))
                sessions.append({session.user, session.display, session.runtimePath});
        }
    }
    m_sessions->setSessions(m_documentPath.isEmpty() ? QList<SessionKeeper::Session>() : sessions);
}

bool Guard::decideExec(ProcessId pid, uint uid, const Platform::ProgramFile& file)
{
    // Runs on the gate's thread while the exec waits.
    if (isLoader(file.path)) {
        // The loader is asked about as the interpreter of every dynamically linked program,
        // and also when run directly with a program in its arguments. Which one it was shows
        // once the exec has completed: the process then runs the program asked about just
        // before, or the loader. That is looked at from the main thread a moment later.
        const auto previous = m_recentExecs.constFind(pid);
        LoaderRun run {pid, previous == m_recentExecs.cend() ? std::nullopt : std::optional(*previous), 0};
        m_recentExecs.remove(pid);
        QMutexLocker lock(&m_loaderRunsMutex);
        m_newLoaderRuns.append(run);
        if (m_newLoaderRuns.size() == 1)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_loaderRunsTimer.isActive())
                        m_loaderRunsTimer.start();
                },
                Qt::QueuedConnection);
        return true;
    }
    if (m_recentExecs.size() > 4096)
        m_recentExecs.clear();
    m_recentExecs.insert(pid, {file.device, file.inode});
    const ExecPolicy::Verdict verdict = m_policy.decide(file);
    if (!verdict.denied())
        return true;
    if (!verdict.byContent)
        m_policy.learn(file, verdict.rule);
    QMetaObject::invokeMethod(
        this, [this, pid, uid, path = file.path, verdict] { blocked(pid, uid, path, verdict, true); },
        Qt::QueuedConnection);
    return false;
}

void Guard::blocked(
    ProcessId pid, uint uid, const QString& path, const ExecPolicy::Verdict& verdict, bool denied)
{
    const std::optional<int> leftOut = m_log.admit(QString::number(uid) + u'\n' + path, m_clock.elapsed());
    if (!leftOut)
        return;
    const std::optional<Platform::Account> account = Platform::Accounts::byUid(uid);
    const QString user = account ? account->name : QString::number(uid);
    const QString action = ProcessActionText(*m_catalogue, qint32(ProcessAction::Block));
    log(Priority::Notice, GuardLog::blocked(denied, path, user, pid, verdict, *leftOut),
        {.messageId = denied ? Platform::SystemLogMessageId::Denied : Platform::SystemLogMessageId::Ended,
            .rule = verdict.rule,
            .action = action,
            .account = user,
            .program = path});
    m_sessions->tellBlocked(uid, QFileInfo(path).fileName(), action);
}

bool Guard::enforceOn(ProcessId pid)
{
    const std::optional<uint> uid = Platform::ProcessFacts::realUid(pid);
    if (!uid || !m_policy.manages(*uid))
        return false;
    const std::optional<Platform::OpenProgram> program = Platform::OpenProgram::ofProcess(pid);
    if (!program)
        return false;
    if (isLoader(program->file().path)) {
        checkLoaderArguments(pid);
        return false;
    }
    const ExecPolicy::Verdict verdict = m_policy.decide(program->file());
    if (!verdict.denied() || m_processes->terminate(pid) != Platform::TerminateResult::Terminated)
        return false;
    if (!verdict.byContent)
        m_policy.learn(program->file(), verdict.rule);
    blocked(pid, *uid, program->file().path, verdict, false);
    return true;
}

void Guard::checkLoaderRuns()
{
    {
        QMutexLocker lock(&m_loaderRunsMutex);
        m_loaderRuns += std::exchange(m_newLoaderRuns, {});
    }
    const auto settled = [this](LoaderRun& run) {
        const auto exe = Platform::ProcessFacts::exeIdentity(run.pid);
        if (!exe || (run.program && *exe == *run.program))
            return true; // gone, or the program the loader was the interpreter of
        if (isLoader(QFile::decodeName(Platform::ProcessFacts::link(run.pid, "exe")))) {
            checkLoaderArguments(run.pid);
            return true;
        }
        // The exec has not completed yet, or failed: the process still runs its old program.
        return ++run.looks >= LoaderRunLooks;
    };
    for (auto it = m_loaderRuns.begin(); it != m_loaderRuns.end();)
        it = settled(*it) ? m_loaderRuns.erase(it) : std::next(it);
    if (!m_loaderRuns.isEmpty() && !m_loaderRunsTimer.isActive())
        m_loaderRunsTimer.start();
}

void Guard::checkLoaderArguments(ProcessId pid)
{
    const std::optional<uint> uid = Platform::ProcessFacts::realUid(pid);
    if (!uid || !m_policy.manages(*uid))
        return;
    QByteArray path = loadedProgram(Platform::ProcessFacts::arguments(pid));
    if (path.isEmpty())
        return;
    if (!path.startsWith('/'))
        path = Platform::ProcessFacts::link(pid, "cwd") + '/' + path;
    const std::optional<Platform::OpenProgram> program = Platform::OpenProgram::open(path);
    if (!program)
        return;
    const ExecPolicy::Verdict verdict = m_policy.decide(program->file());
    if (verdict.denied() && m_processes->terminate(pid) == Platform::TerminateResult::Terminated)
        blocked(pid, *uid, program->file().path, verdict, false);
}

void Guard::sweep()
{
    if (m_mode == Mode::Nothing || !m_policy.hasRules())
        return;
    for (const Platform::ProcessEntry& entry : m_processes->fullSnapshot())
        enforceOn(entry.pid);
}

void Guard::processesChanged()
{
    const Platform::ProcessChanges changes = m_processes->changes();
    if (!m_policy.hasRules())
        return;
    for (const Platform::ProcessEntry& entry : changes.started)
        enforceOn(entry.pid);
}

} // namespace Tollgate
