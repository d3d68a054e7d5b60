#pragma once

#include <QtGlobal>
#include <optional>

namespace Tollgate {

// When a kept session program starts again after it ended. Only the administrator's Quit,
// after the password, ends it with exit code 0; every other end is answered with a start
// again, soon, and later each time for a program that keeps ending just after its start,
// so that a broken installation does not spin.
class RestartPolicy
{
public:
    static constexpr int RestartDelayMs = 100;
    static constexpr int SettleMs = 5000;
    static constexpr int MaxDelayMs = 30000;

    // The delay before the next start; none when it was the administrator's Quit.
    // ranMs: how long it ran, negative when it did not start at all.
    std::optional<int> ended(bool exitedNormally, int exitCode, qint64 ranMs);

private:
    int m_delayMs = RestartDelayMs;
};

} // namespace Tollgate
