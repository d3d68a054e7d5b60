#include "RestartPolicy.h"

#include <algorithm>

namespace Tollgate {

std::optional<int> RestartPolicy::ended(bool exitedNormally, int exitCode, qint64 ranMs)
{
    if (exitedNormally && exitCode == 0)
        return std::nullopt;
    m_delayMs = ranMs >= SettleMs ? RestartDelayMs : std::min(m_delayMs * 2, MaxDelayMs);
    return m_delayMs;
}

} // namespace Tollgate
