#include "FakeProcessTable.h"

#include "platform/ShellWords.h"

namespace Tollgate::Platform {

ProcessId FakeProcessTable::addProcess(const QString& name)
{
    const ProcessId pid = m_nextPid++;
    m_processes.append({pid, name});
    reportChange();
    return pid;
}

void FakeProcessTable::removeProcess(ProcessId pid)
{
    if (m_processes.removeIf([pid](const ProcessEntry& entry) { return entry.pid == pid; }) > 0)
        reportChange();
}

void FakeProcessTable::renameProcess(ProcessId pid, const QString& name)
{
    for (ProcessEntry& entry : m_processes) {
        if (entry.pid == pid)
            entry.name = name;
    }
    reportChange();
}

void FakeProcessTable::setTerminationPermitted(ProcessId pid, bool permitted)
{
    if (permitted)
        m_protected.remove(pid);
    else
        m_protected.insert(pid);
}

TerminateResult FakeProcessTable::terminate(ProcessId pid)
{
    m_kills.append(pid);
    const bool exists = std::any_of(m_processes.begin(), m_processes.end(),
        [pid](const ProcessEntry& entry) { return entry.pid == pid; });
    if (!exists)
        return TerminateResult::NoSuchProcess;
    if (m_protected.contains(pid))
        return TerminateResult::NotPermitted;
    removeProcess(pid);
    if (m_onTerminated)
        m_onTerminated(pid);
    return TerminateResult::Terminated;
}

ProcessId FakeProcessTable::start(const QString& commandLine)
{
    m_starts.append(commandLine);
    const std::optional<QStringList> words = ShellWords::commandWords(commandLine);
    if (m_startsFail || !words || words->isEmpty() || words->first().isEmpty())
        return 0;
    const QString program = words->first();
    return addProcess(program.sliced(program.lastIndexOf(u'/') + 1));
}

QList<CapabilityStatus> FakeProcessTable::capabilities()
{
    return {{Capability::ProcessNames, true, QStringLiteral("fake")},
        {Capability::TerminationRights, true, QStringLiteral("fake")}};
}

} // namespace Tollgate::Platform
