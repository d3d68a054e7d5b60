#include "Program.h"

#include "lang/ProgramPaths.h"
#include "platform/Platform.h"
#include "platform/StandardInput.h"
#include "profile/TextFile.h"
#include "store/FileAssociation.h"
#include "ui/MainWindow.h"
#include "ui/SplashWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace Tollgate {

Program::Program(
    Platform::Platform& platform, const ProgramPaths& paths, UserDialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_store(platform.systemRegistry() ? SettingsStore(platform.systemRegistry()) : SettingsStore())
    , m_catalogue(m_store, paths)
    , m_qtTexts(m_catalogue)
    , m_document(m_rules, m_catalogue)
    , m_log(ActivityLog::defaultPath(paths), m_clock, platform.systemLog())
    , m_notifier(m_rules, m_catalogue, platform.windows())
    , m_survey(m_rules, platform, m_notifier, m_log, m_clock)
    , m_context {m_rules, m_document, m_catalogue, m_survey, m_log, platform, dialogs}
    , m_warn([](const QString& line) { QTextStream(stderr) << line << '\n'; })
{
    QCoreApplication::installTranslator(&m_qtTexts);
    m_notifier.setSurvey(m_survey);
    m_survey.processSurvey().setCatalogue(m_catalogue);
    connect(&m_notifier, &WindowNotifier::unlocked, this, &Program::showMainWindow);
}

Program::~Program() = default;

bool Program::hasOptions(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--"))
            return false;
        if (argument.size() > 1 && argument.startsWith(u'-'))
            return true;
    }
    return false;
}

QString Program::commandLineText(const QStringList& arguments)
{
    QStringList words = arguments;
    words.removeOne(QStringLiteral("--"));
    return words.join(u' ');
}

void Program::Main(const QString& commandLine)
{
    {
        SplashWindow splash(m_platform);
        splash.exec();
    }

    FileAssociation(m_store, m_platform.shell())
        .RegisterFileType(m_catalogue.paths(), QFileInfo(QCoreApplication::applicationFilePath()).fileName());

    createMainWindow();
    m_document.LoadRuleSet(QString());
    if (commandLine.isEmpty()) {
        m_mainWindow->show();
        return;
    }

    // Watched before it is read, so that no change in between goes unseen.
    m_watcher = std::make_unique<DocumentWatcher>(commandLine);
    connect(m_watcher.get(), &DocumentWatcher::changed, this, &Program::reloadDocument);
    // The document goes over a new rule set, so that what it cannot set keeps the new
    // rule set's value.
    const RuleSetDocument::LoadResult loaded = m_document.LoadRuleSet(commandLine);
    m_followedPath = m_document.documentPath();
    if (!loaded.fileRead) {
        // One line, so that a mistyped path in an autostart entry can be found.
        QString line = QStringLiteral("tollgate: cannot read the rule set %1")
                           .arg(QDir::toNativeSeparators(commandLine));
        if (!loaded.error.isEmpty())
            line += QStringLiteral(" (") + loaded.error + u')';
        m_warn(line + QStringLiteral("; surveying with an empty rule set"));
    }
    m_survey.run();
}

void Program::reloadDocument()
{
    // The administrator's work in the configuration window wins over the file.
    if (m_rules.changed()) {
        notReloaded(QStringLiteral("the configuration window has unsaved changes"));
        return;
    }
    if (m_document.documentPath() != m_followedPath) {
        notReloaded(QStringLiteral("the configuration window has another document open"));
        return;
    }
    // Read whole before anything is replaced: a version that cannot be read keeps the rules.
    const QString path = m_watcher->path();
    if (!QFileInfo::exists(path)) {
        notReloaded(QStringLiteral("no such file"));
        return;
    }
    const TextFile::BytesResult read = TextFile::readBytes(path);
    if (!read.ok) {
        notReloaded(read.error);
        return;
    }
    if (!RuleSetDocument::isDocument(read.bytes)) {
        notReloaded(QStringLiteral("not a rule-set document"));
        return;
    }
    // Our own Save from the configuration window: nothing new, and its views keep their place.
    if (read.bytes == RuleSetDocument::documentText(m_rules).toUtf8())
        return;
    m_document.LoadRuleSet(QString());
    m_document.loadBytes(path, read.bytes);
    m_followedPath = m_document.documentPath();
    m_warn(QStringLiteral("tollgate: reloaded the rule set %1").arg(QDir::toNativeSeparators(path)));
}

void Program::notReloaded(const QString& reason)
{
    const QString path = QDir::toNativeSeparators(m_watcher->path());
    m_warn(QStringLiteral("tollgate: the rule set %1 changed and was not reloaded (%2); the last rules stay")
               .arg(path, reason));
    m_log.WriteLog(path, QStringLiteral("not reloaded: ") + reason, ActivityLog::Event::NotReloaded);
}

void Program::hearGuard(Platform::StandardInput& input)
{
    input.read(
        [this](const QByteArray& bytes) {
            for (const GuardLines::Blocked& blocked : m_guardLines.take(bytes)) {
                // As for a process that the survey ends itself.
                m_notifier.showBlockMessage();
                m_log.WriteLog(blocked.program, blocked.action);
            }
        },
        // The guard restarted: not an error, the survey goes on.
        [this] { m_warn(QStringLiteral("tollgate: the guard's input ended")); });
}

void Program::createMainWindow()
{
    m_mainWindow = std::make_unique<MainWindow>(m_context);
    connect(m_mainWindow.get(), &MainWindow::endApplicationRequested, this, &Program::EndApplication);
}

void Program::showMainWindow()
{
    if (!m_mainWindow)
        return;
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void Program::EndApplication()
{
    m_survey.stop();
    m_endedOnRequest = true;
    QCoreApplication::exit(0);
}

} // namespace Tollgate
