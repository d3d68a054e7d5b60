#include "ProcessTable.h"

#include <algorithm>

namespace Tollgate::Platform {

ProcessChanges ProcessTable::changes()
{
    QList<ProcessEntry> now = snapshot();
    ProcessChanges result;
    const bool ascending = std::adjacent_find(now.cbegin(), now.cend(),
                               [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid >= b.pid; })
        == now.cend();
    if (!m_changesBaseValid || !ascending) {
        // Without an order two lists cannot be merged: the caller starts afresh.
        result.complete = true;
        result.started = now;
    } else if (!(now.isSharedWith(m_changesBase) && now.size() == m_changesBase.size())) {
        // Both lists ascend: one merge pass finds what came, went or ran another program.
        auto old = m_changesBase.cbegin();
        const auto oldEnd = m_changesBase.cend();
        for (const ProcessEntry& entry : std::as_const(now)) {
            for (; old != oldEnd && old->pid < entry.pid; ++old)
                result.ended.append(old->pid);
            if (old != oldEnd && old->pid == entry.pid) {
                if (old->name != entry.name)
                    result.started.append(entry);
                ++old;
            } else {
                result.started.append(entry);
            }
        }
        for (; old != oldEnd; ++old)
            result.ended.append(old->pid);
    }
    m_changesBaseValid = ascending;
    m_changesBase = ascending ? std::move(now) : QList<ProcessEntry>();
    return result;
}

} // namespace Tollgate::Platform
