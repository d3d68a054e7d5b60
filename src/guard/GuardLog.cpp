#include "GuardLog.h"

namespace Tollgate {

std::optional<int> GuardLog::admit(const QString& key, qint64 nowMs)
{
    Repeats& repeats = m_repeats[key];
    if (nowMs - repeats.windowStartMs >= 1000) {
        repeats.windowStartMs = nowMs;
        repeats.inWindow = 0;
    }
    if (repeats.inWindow >= PerSecond) {
        ++repeats.leftOut;
        return std::nullopt;
    }
    ++repeats.inWindow;
    const int leftOut = std::exchange(repeats.leftOut, 0);
    if (m_repeats.size() > 1024)
        m_repeats.removeIf([&](const auto& entry) { return nowMs - entry.value().windowStartMs >= 1000; });
    return leftOut;
}

QString GuardLog::blocked(bool denied, const QString& path, const QString& user, qint64 pid,
    const ExecPolicy::Verdict& verdict, int leftOut)
{
    const QString how = verdict.byContent ? QStringLiteral(", a copy of it") : QString();
    return QStringLiteral("%1 %2 of %3 (process %4): Block rule %5%6")
               .arg(denied ? QStringLiteral("denied") : QStringLiteral("ended"), path, user)
               .arg(pid)
               .arg(verdict.rule, how)
        + (leftOut > 0 ? QStringLiteral(" (and %1 times more not logged)").arg(leftOut) : QString());
}

} // namespace Tollgate
