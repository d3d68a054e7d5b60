#include "ProcessSurvey.h"

#include "ActivityLog.h"
#include "Clock.h"
#include "SurveyNotifier.h"
#include "lang/ActionCodes.h"
#include "platform/ProcessTable.h"
#include "store/RuleSet.h"

#include <cstdio>

namespace Tollgate {

using Platform::ProcessId;

ProcessSurvey::ProcessSurvey(const RuleSet& rules, Platform::ProcessTable& processes,
    SurveyNotifier& notifier, ActivityLog& log, Clock& clock, int tickIntervalMs)
    : m_rules(rules)
    , m_processes(processes)
    , m_notifier(notifier)
    , m_log(log)
    , m_clock(clock)
    , m_tickIntervalMs(tickIntervalMs)
    , m_report([](const QString& text) { fprintf(stderr, "tollgate: %s\n", qPrintable(text)); })
{ }

QString ProcessSurvey::printable(QString name)
{
    // Any process may pick its name: a line break in it would forge a line of our own.
    for (QChar& c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            c = u'?';
    }
    return name;
}

QString ProcessSurvey::fold(const QString& name)
{
    // Lower-cased, then upper-cased: the comparison rule sets were written against.
    return name.toLower().toUpper();
}

const ProcessSurvey::Snapshot& ProcessSurvey::snapshot()
{
    if (!m_snapshot) {
        Snapshot snap;
        snap.entries = m_processes.snapshot();
        ++m_snapshotsTaken;
        // Mostly nothing changed since the last tick: keep the name index then.
        if (snap.entries == m_previous.entries) {
            snap.firstByName = m_previous.firstByName;
        } else {
            snap.firstByName.reserve(snap.entries.size());
            for (const Platform::ProcessEntry& entry : std::as_const(snap.entries)) {
                const QString name = fold(entry.name);
                if (!snap.firstByName.contains(name))
                    snap.firstByName.insert(name, entry.pid);
            }
            m_previous = snap;
        }
        m_snapshot = std::move(snap);
    }
    return *m_snapshot;
}

ProcessId ProcessSurvey::FindProcessId(const QString& name)
{
    return snapshot().firstByName.value(name.toUpper(), 0);
}

void ProcessSurvey::SurveyProcesses()
{
    // One snapshot serves the whole tick, until a termination or a start changes it.
    invalidateSnapshot();
    for (Restart& restart : m_restarts)
        restart.seenThisTick = false;

    const RuleTable& rules = m_rules.processRules();
    const int count = rules.count();
    for (int n = 1; n <= count; ++n) {
        switch (static_cast<ProcessAction>(ProcessActionCode(rules.cell(n, RuleSet::ProcessAction)))) {
        case ProcessAction::AlwaysRun:
            alwaysRun(n);
            break;
        case ProcessAction::Block:
            block(n);
            break;
        default:
            break; // Close when Idle is the timeout's business; Ignore is nothing
        }
    }
    // Rules that are gone, or no longer Always Run, leave no back-off behind.
    m_restarts.removeIf([](const auto& it) { return !it.value().seenThisTick; });
}

void ProcessSurvey::alwaysRun(int row)
{
    const RuleTable& rules = m_rules.processRules();
    const QString& name = rules.cell(row, RuleSet::ProcessName);
    const QString key = fold(name) + u'\n' + rules.cell(row, RuleSet::ProcessExe);
    Restart& restart = m_restarts[key];
    restart.seenThisTick = true;
    if (FindProcessId(name) != 0) {
        restart = Restart {0, 0, true}; // running: the next disappearance restarts at once
        return;
    }
    const qint64 now = m_clock.monotonicMs();
    if (now < restart.nextAllowedMs)
        return;
    // A program that does not show up is started again after one tick, then after twice
    // as long each time, up to MaxRestartDelayMs.
    restart.delayMs
        = restart.delayMs == 0 ? m_tickIntervalMs : std::min(2 * restart.delayMs, MaxRestartDelayMs);
    restart.nextAllowedMs = now + restart.delayMs;

    const QString exe = rules.cell(row, RuleSet::ProcessExe);
    const QString action = rules.cell(row, RuleSet::ProcessAction);
    const QString logName = name;
    m_processes.start(exe);
    invalidateSnapshot();
    m_log.WriteLog(logName, action);
}

void ProcessSurvey::block(int row)
{
    const RuleTable& rules = m_rules.processRules();
    const QString name = rules.cell(row, RuleSet::ProcessName);
    if (FindProcessId(name) == 0)
        return;
    const QString action = rules.cell(row, RuleSet::ProcessAction);
    if (CloseProcessByName(name) == 0)
        return; // nothing could be ended: no message, no log line
    m_notifier.showBlockMessage();
    m_log.WriteLog(name, action);
}

int ProcessSurvey::CloseProcessByName(const QString& name)
{
    const QString wanted = name.toUpper();
    QList<ProcessId> ended;
    for (const Platform::ProcessEntry& entry : snapshot().entries) {
        if (fold(entry.name) != wanted)
            continue;
        switch (m_processes.terminate(entry.pid)) {
        case Platform::TerminateResult::Terminated:
            ended.append(entry.pid);
            break;
        case Platform::TerminateResult::NotPermitted:
            if (!m_reportedRefusals.contains(entry.pid)) {
                m_reportedRefusals.insert(entry.pid);
                m_report(QStringLiteral("may not terminate process %1 (%2)")
                             .arg(entry.pid)
                             .arg(printable(entry.name)));
            }
            break;
        case Platform::TerminateResult::NoSuchProcess:
            break;
        }
    }
    invalidateSnapshot();
    if (ended.isEmpty())
        return 0;

    // Give them a moment to go, so that later rows and the next tick see them gone.
    const qint64 deadline = m_clock.monotonicMs() + TerminationWaitMs;
    while (m_clock.monotonicMs() < deadline) {
        const Snapshot& now = snapshot();
        const bool anyLeft = std::any_of(now.entries.begin(), now.entries.end(),
            [&](const Platform::ProcessEntry& e) { return ended.contains(e.pid); });
        if (!anyLeft)
            break;
        invalidateSnapshot();
        m_clock.sleepMs(TerminationPollMs);
    }
    return static_cast<int>(ended.size());
}

void ProcessSurvey::CloseIdleProcesses()
{
    const RuleTable& rules = m_rules.processRules();
    const int count = rules.count();
    QStringList names;
    for (int n = 1; n <= count; ++n) {
        if (ProcessActionCode(rules.cell(n, RuleSet::ProcessAction))
            == static_cast<int>(ProcessAction::CloseWhenIdle))
            names.append(rules.cell(n, RuleSet::ProcessName));
    }
    invalidateSnapshot();
    for (const QString& name : std::as_const(names))
        CloseProcessByName(name);
    invalidateSnapshot();
}

} // namespace Tollgate
