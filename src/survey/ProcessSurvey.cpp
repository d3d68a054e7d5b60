#include "ProcessSurvey.h"

#include "ActivityLog.h"
#include "Clock.h"
#include "SurveyNotifier.h"
#include "lang/ActionCodes.h"
#include "lang/MessageCatalogue.h"
#include "platform/ProcessTable.h"
#include "store/RuleSet.h"

#include <algorithm>
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

QString ProcessSurvey::upperCached(const QString& name)
{
    // Rule names, looked up on every survey.
    if (m_upperCache.size() > 4096)
        m_upperCache.clear();
    auto it = m_upperCache.constFind(name);
    if (it == m_upperCache.cend())
        it = m_upperCache.insert(name, name.toUpper());
    return *it;
}

QString ProcessSurvey::foldCached(const QString& name)
{
    // Many processes share a name; a bound keeps odd names from piling up.
    if (m_foldCache.size() > 4096)
        m_foldCache.clear();
    auto it = m_foldCache.constFind(name);
    if (it == m_foldCache.cend())
        it = m_foldCache.insert(name, fold(name));
    return *it;
}

void ProcessSurvey::addToIndex(const Platform::ProcessEntry& entry)
{
    const QString folded = foldCached(entry.name);
    m_index.namesByPid.insert(entry.pid, {entry.name, folded});
    m_index.pidsByName[folded].insert(entry.pid);
}

void ProcessSurvey::removeFromIndex(ProcessId pid)
{
    const auto it = m_index.namesByPid.constFind(pid);
    if (it == m_index.namesByPid.cend())
        return;
    const auto pids = m_index.pidsByName.find(it->second);
    if (pids != m_index.pidsByName.end()) {
        pids->erase(pid);
        if (pids->empty())
            m_index.pidsByName.erase(pids);
    }
    m_index.namesByPid.erase(it);
}

void ProcessSurvey::reindex(const QList<Platform::ProcessEntry>& entries)
{
    const bool ascending = std::adjacent_find(entries.begin(), entries.end(),
                               [](const auto& a, const auto& b) { return a.pid >= b.pid; })
        == entries.end();
    m_index = NameIndex();
    m_index.ascending = ascending;
    if (ascending) {
        for (const Platform::ProcessEntry& entry : entries)
            addToIndex(entry);
        return;
    }
    m_index.entries = entries;
    for (const Platform::ProcessEntry& entry : entries) {
        if (const QString folded = foldCached(entry.name); !m_index.firstByName.contains(folded))
            m_index.firstByName.insert(folded, entry.pid);
    }
}

void ProcessSurvey::applyChanges(const Platform::ProcessChanges& changes)
{
    if (m_index.ascending) {
        for (const ProcessId pid : changes.ended)
            removeFromIndex(pid);
        for (const Platform::ProcessEntry& entry : changes.started) {
            removeFromIndex(entry.pid);
            addToIndex(entry);
        }
        return;
    }
    // Tables without an order report everything each time; should one not, new
    // processes go to the end of the list.
    QList<Platform::ProcessEntry> entries = m_index.entries;
    entries.removeIf([&](const Platform::ProcessEntry& entry) {
        return changes.ended.contains(entry.pid)
            || std::any_of(changes.started.begin(), changes.started.end(),
                [&](const Platform::ProcessEntry& s) { return s.pid == entry.pid; });
    });
    entries.append(changes.started);
    reindex(entries);
}

void ProcessSurvey::refresh()
{
    if (m_fresh)
        return;
    m_fresh = true;
    ++m_snapshotsTaken;
    const Platform::ProcessChanges changes = m_processes.changes();
    if (changes.complete || !changes.started.isEmpty() || !changes.ended.isEmpty())
        m_changedSinceSurvey = true;
    if (changes.complete)
        reindex(changes.started);
    else
        applyChanges(changes);
}

bool ProcessSurvey::running(ProcessId pid) const
{
    if (m_index.ascending)
        return m_index.namesByPid.contains(pid);
    return std::any_of(m_index.entries.begin(), m_index.entries.end(),
        [&](const Platform::ProcessEntry& e) { return e.pid == pid; });
}

QList<Platform::ProcessEntry> ProcessSurvey::entriesNamed(const QString& folded)
{
    QList<Platform::ProcessEntry> result;
    refresh();
    if (!m_index.ascending) {
        for (const Platform::ProcessEntry& entry : std::as_const(m_index.entries)) {
            if (foldCached(entry.name) == folded)
                result.append(entry);
        }
        return result;
    }
    const auto pids = m_index.pidsByName.constFind(folded);
    if (pids == m_index.pidsByName.cend())
        return result;
    for (const ProcessId pid : *pids)
        result.append({pid, m_index.namesByPid.value(pid).first});
    return result;
}

ProcessId ProcessSurvey::FindProcessId(const QString& name)
{
    refresh();
    const QString wanted = upperCached(name);
    if (!m_index.ascending)
        return m_index.firstByName.value(wanted, 0);
    const auto pids = m_index.pidsByName.constFind(wanted);
    return pids == m_index.pidsByName.cend() ? 0 : *pids->begin();
}

void ProcessSurvey::SurveyProcesses()
{
    // One snapshot serves the whole tick, until a termination or a start changes it.
    invalidateSnapshot();
    refresh();
    // The rules read the same names as last time and found nothing to do then: they find
    // nothing now. A quiet tick costs what changed, not how many rules there are.
    const quint64 revision = m_rules.processRules().revision();
    if (!m_acted && !m_changedSinceSurvey && revision == m_surveyedRevision)
        return;
    m_changedSinceSurvey = false;
    m_acted = false;
    m_surveyedRevision = revision;
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
    const QString key = foldCached(name) + u'\n' + rules.cell(row, RuleSet::ProcessExe);
    Restart& restart = m_restarts[key];
    restart.seenThisTick = true;
    if (FindProcessId(name) != 0) {
        restart = Restart {0, 0, true}; // running: the next disappearance restarts at once
        return;
    }
    m_acted = true;
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
    const Platform::SystemLogFields fields {.rule = name, .action = action, .program = exe};
    const Platform::ProcessId started = m_processes.start(exe);
    invalidateSnapshot();
    if (started != 0) {
        restart.failing = false;
        m_log.WriteLog(logName, action, ActivityLog::Event::Started, fields);
    } else if (!std::exchange(restart.failing, true)) {
        // Once for a run of failures: the retries go on, and would fill the log.
        const QString key = QStringLiteral("MSG_START_FAILED");
        QString text = m_catalogue ? m_catalogue->MessageText(key) : MessageCatalogue::builtInText(key);
        m_log.WriteLog(
            logName, text.replace(QStringLiteral("%1"), action), ActivityLog::Event::StartFailed, fields);
    }
}

void ProcessSurvey::block(int row)
{
    const RuleTable& rules = m_rules.processRules();
    const QString name = rules.cell(row, RuleSet::ProcessName);
    if (FindProcessId(name) == 0)
        return;
    m_acted = true;
    const QString action = rules.cell(row, RuleSet::ProcessAction);
    if (CloseProcessByName(name) == 0)
        return; // nothing could be ended: no message, no log line
    m_notifier.showBlockMessage();
    m_log.WriteLog(
        name, action, ActivityLog::Event::Blocked, {.rule = name, .action = action, .program = name});
}

int ProcessSurvey::CloseProcessByName(const QString& name)
{
    const QString wanted = upperCached(name);
    QList<ProcessId> ended;
    for (const Platform::ProcessEntry& entry : entriesNamed(wanted)) {
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
        refresh();
        if (std::none_of(ended.begin(), ended.end(), [&](ProcessId pid) { return running(pid); }))
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
