#pragma once

#include "guard/ExecPolicy.h"
#include "guard/GuardLog.h"
#include "guard/RestartPolicy.h"
#include "platform/PlatformTypes.h"
#include "platform/SystemLog.h"
#include "platform/win32/Win32Sessions.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>

namespace Tollgate {

class DocumentWatcher;
class MessageCatalogue;
class SettingsStore;
namespace Platform {
    class Registry;
    class Win32ProcessStarts;
    class Win32SessionProgram;
} // namespace Platform

// The guard on Windows, run by the service TollgateGuard as LocalSystem: keeps Tollgate.exe
// running with the machine's document in the sessions of the managed accounts, and ends
// the programs the document blocks in every session of theirs, renamed copies included.
// Processes of other accounts, and of the accounts services run as, are never touched.
class WindowsGuard : public QObject
{
    Q_OBJECT

public:
    // HKEY_LOCAL_MACHINE, which only administrators can change: Document (the machine's
    // rule set) and Accounts (names and @groups, separated by commas or blanks).
    static constexpr const char* ConfigKey = "SOFTWARE\\Policies\\Tollgate\\Guard";
    // Without start events the process list is looked at every tick; with them, once a
    // second in case one was missed.
    static constexpr int TickMs = 50;
    static constexpr int SweepWithEventsMs = 1000;
    // Sign-ins and the configuration are looked at this often.
    static constexpr int SessionsMs = 1000;

    struct Options
    {
        QString configKey = QString::fromLatin1(ConfigKey);
        QString program; // Tollgate.exe
        bool startEvents = true; // false: the process list every tick only
    };

    WindowsGuard(Options options, Platform::Registry& registry, Platform::SystemLog& systemLog,
        bool toStandardError, QObject* parent = nullptr);
    ~WindowsGuard() override;

    void start();
    // How blocked programs are found, for the log and --check.
    QString how() const { return m_how; }

private:
    struct Kept
    {
        Platform::Win32Sessions::Session session;
        QString account; // DOMAIN\name
        std::unique_ptr<Platform::Win32SessionProgram> program;
        QElapsedTimer started;
        QTimer restart;
        RestartPolicy restarts;
    };

    void readConfig();
    void readDocument();
    bool manages(const Platform::Win32Accounts::Owner& owner) const;
    void updateSessions();
    void startIn(Kept& kept);
    void stop(Kept& kept);
    void ended(Kept& kept, int exitCode);
    void sweep();
    void check(Platform::ProcessId pid);
    // An account's name, asked of Windows once: a domain account's may wait for the network.
    QString nameOf(const QString& sid);
    void log(Platform::SystemLog::Priority priority, const QString& message,
        const Platform::SystemLogFields& fields = {});

    Options m_options;
    Platform::Registry& m_registry;
    Platform::SystemLog& m_systemLog;
    bool m_toStandardError = false;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<MessageCatalogue> m_catalogue;
    QString m_how;
    QStringList m_configRead; // the values last read, so that an unchanged one is not acted on again
    QString m_documentPath;
    QByteArray m_documentState;
    std::unique_ptr<DocumentWatcher> m_documentWatcher;
    QSet<QString> m_managedUsers; // SIDs
    QSet<QString> m_managedGroups;
    ExecPolicy m_policy;
    GuardLog m_log;
    QElapsedTimer m_clock;
    std::unique_ptr<Platform::Win32ProcessStarts> m_starts;
    QTimer m_sweepTimer;
    QTimer m_sessionsTimer;
    QHash<Platform::ProcessId, QString> m_seen; // by the last sweep: pid and name
    QList<Platform::ProcessId> m_ids; // by the last look, sorted
    int m_quietSweeps = 0;
    std::map<QString, std::unique_ptr<Kept>> m_kept; // by session and account
    QHash<QString, QString> m_names; // by SID
};

} // namespace Tollgate
