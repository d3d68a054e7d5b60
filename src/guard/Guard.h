#pragma once

#include "ExecPolicy.h"
#include "GuardConfig.h"
#include "GuardLog.h"
#include "SessionKeeper.h"
#include "platform/PlatformTypes.h"
#include "platform/SystemLog.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

namespace Tollgate {

class DocumentWatcher;
class MessageCatalogue;
class SettingsStore;
namespace Platform {
    class LogindSessions;
    class ExecGate;
    class ProcProcessTable;
    struct ProgramFile;
} // namespace Platform

// The privileged guard: denies the programs the machine's document blocks before they
// run for the managed accounts, ends those that run anyway, keeps the session program
// running in their sessions, and follows the document and the configuration as they
// change on disk. Bad input is reported and the last good rules stay.
class Guard : public QObject
{
    Q_OBJECT

public:
    enum class Mode {
        Deny, // execs wait for the guard's answer
        End, // blocked programs are ended as they start
        Nothing, // no rights to do either
    };

    struct Options
    {
        QString configPath = QString::fromLatin1(GuardConfig::DefaultPath);
        bool permissionEvents = true; // false: end programs at exec even where they could be denied
        QString program; // the session program
    };

    Guard(Options options, Platform::SystemLog& systemLog, QObject* parent = nullptr);
    ~Guard() override;

    // What the guard can do on this machine, and why not more.
    static Mode probe(const Options& options, QString& why);
    static QString describe(Mode mode, const QString& why);

    void start();
    Mode mode() const { return m_mode; }

private:
    void readConfig();
    void readDocument();
    void learnFromSearchPath(const QStringList& names);
    void updateSessions();
    // Ends the managed accounts' blocked programs that run now.
    void sweep();
    // Checks one process and ends it if it runs a blocked program; true when it did.
    bool enforceOn(Platform::ProcessId pid);
    void processesChanged();
    // Which of the loader's execs were runs of their own, once they have completed.
    void checkLoaderRuns();
    // A program started through the dynamic loader: the program is in its arguments.
    void checkLoaderArguments(Platform::ProcessId pid);
    bool decideExec(Platform::ProcessId pid, uint uid, const Platform::ProgramFile& file);
    void blocked(Platform::ProcessId pid, uint uid, const QString& path, const ExecPolicy::Verdict& verdict,
        bool denied);
    void log(Platform::SystemLog::Priority priority, const QString& message,
        const Platform::SystemLogFields& fields = {});
    void writeStatus();

    Options m_options;
    Platform::SystemLog& m_systemLog;
    bool m_toStandardError = true;
    bool m_statusWritten = false;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<MessageCatalogue> m_catalogue;
    Mode m_mode = Mode::Nothing;
    QString m_why;
    GuardConfig m_config;
    ExecPolicy m_policy;
    QString m_documentPath;
    QByteArray m_documentState; // what was last read, so that an unchanged file is not reported again
    std::unique_ptr<Platform::ExecGate> m_gate;
    std::unique_ptr<Platform::ProcProcessTable> m_processes;
    SessionKeeper* m_sessions = nullptr;
    DocumentWatcher* m_configWatcher = nullptr;
    std::unique_ptr<DocumentWatcher> m_documentWatcher; // replaced with the document's path
    Platform::LogindSessions* m_logind = nullptr;
    // Touched by the gate's thread only: the last program each process was allowed to run,
    // so that the dynamic loader opened as its interpreter is told from the loader run
    // directly.
    QHash<Platform::ProcessId, std::pair<quint64, quint64>> m_recentExecs; // device, inode
    struct LoaderRun
    {
        Platform::ProcessId pid = 0;
        std::optional<std::pair<quint64, quint64>> program; // asked about just before, if any
        int looks = 0;
    };
    // Looked at in batches, so that a busy machine wakes the guard once per batch.
    static constexpr int LoaderRunLookMs = 10;
    static constexpr int LoaderRunLooks = 50; // half a second for an exec to complete
    QMutex m_loaderRunsMutex;
    QList<LoaderRun> m_newLoaderRuns; // from the gate's thread
    QList<LoaderRun> m_loaderRuns; // the main thread's, still to be looked at
    QTimer m_loaderRunsTimer;
    GuardLog m_log;
    QElapsedTimer m_clock;
};

} // namespace Tollgate
