#pragma once

#include "platform/PlatformTypes.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <set>

namespace Tollgate {

class ActivityLog;
class MessageCatalogue;
class Clock;
class RuleSet;
class SurveyNotifier;
namespace Platform {
    class ProcessTable;
}

// Enforces the process rules: Always Run starts a missing program again, Block
// terminates a running one; the idle timeout ends the Close when Idle ones.
class ProcessSurvey
{
public:
    // How long a call of CloseProcessByName waits at most for terminated processes to go.
    static constexpr int TerminationWaitMs = 300;
    // Short: the survey answers nothing else meanwhile, and a killed process is
    // usually gone within a millisecond.
    static constexpr int TerminationPollMs = 1;
    // Repeated starts of a program that does not show up back off up to this interval.
    static constexpr int MaxRestartDelayMs = 5000;

    ProcessSurvey(const RuleSet& rules, Platform::ProcessTable& processes, SurveyNotifier& notifier,
        ActivityLog& log, Clock& clock, int tickIntervalMs);

    void SurveyProcesses();
    // Terminates every process of that name; returns how many were terminated.
    int CloseProcessByName(const QString& name);
    void CloseIdleProcesses();

    // The first process of that name in snapshot order, compared without regard to case;
    // 0 for none. Uses this tick's snapshot.
    Platform::ProcessId FindProcessId(const QString& name);

    // Where processes that may not be terminated are reported (standard error by default).
    void setReporter(std::function<void(const QString&)> reporter) { m_report = std::move(reporter); }
    // The texts of failed Always Run starts, in the language in use; English without one.
    void setCatalogue(const MessageCatalogue& catalogue) { m_catalogue = &catalogue; }

    // Forgets this tick's snapshot; the next lookup takes a new one.
    void invalidateSnapshot() { m_fresh = false; }
    int snapshotsTaken() const { return m_snapshotsTaken; }

private:
    // The names of the running processes, kept up to date from the table's changes, so
    // that a look costs what changed rather than what runs.
    struct NameIndex
    {
        QHash<QString, std::set<Platform::ProcessId>> pidsByName; // folded name -> pids
        QHash<Platform::ProcessId, std::pair<QString, QString>> namesByPid; // name, folded
        // Processes in ascending pid order find the first of a name as its lowest pid;
        // any other order keeps the whole list and the first pid of each name.
        bool ascending = true;
        QList<Platform::ProcessEntry> entries; // only when not ascending
        QHash<QString, Platform::ProcessId> firstByName;
    };
    struct Restart
    {
        qint64 nextAllowedMs = 0;
        int delayMs = 0;
        bool seenThisTick = false;
        bool failing = false; // the last start failed, and its failure is logged
    };

    // Brings the index up to date unless this tick's look is still current.
    void refresh();
    void reindex(const QList<Platform::ProcessEntry>& entries);
    void applyChanges(const Platform::ProcessChanges& changes);
    bool running(Platform::ProcessId pid) const;
    void addToIndex(const Platform::ProcessEntry& entry);
    void removeFromIndex(Platform::ProcessId pid);
    // The processes of a folded name, in snapshot order.
    QList<Platform::ProcessEntry> entriesNamed(const QString& folded);
    QString foldCached(const QString& name);
    QString upperCached(const QString& name);
    static QString fold(const QString& name);
    static QString printable(QString name);
    void alwaysRun(int row);
    void block(int row);

    const RuleSet& m_rules;
    Platform::ProcessTable& m_processes;
    SurveyNotifier& m_notifier;
    ActivityLog& m_log;
    Clock& m_clock;
    int m_tickIntervalMs;

    bool m_fresh = false;
    NameIndex m_index;
    // A process started or ended since the last survey began, as some look saw it.
    bool m_changedSinceSurvey = true;
    // The last survey found something to do: a blocked process, or an Always Run program
    // not running. Until it has, each survey goes through every rule.
    bool m_acted = true;
    quint64 m_surveyedRevision = 0;
    QHash<QString, QString> m_foldCache;
    QHash<QString, QString> m_upperCache;
    int m_snapshotsTaken = 0;
    QHash<QString, Restart> m_restarts; // by folded name and exe file of an Always Run rule
    QSet<Platform::ProcessId> m_reportedRefusals; // reported once each
    std::function<void(const QString&)> m_report;
    const MessageCatalogue* m_catalogue = nullptr;
};

} // namespace Tollgate
