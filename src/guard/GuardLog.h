#pragma once

#include "ExecPolicy.h"

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace Tollgate {

// What both guards say about a blocked program, and how often: a loop that runs a blocked
// program over and over is logged at most five times a second, with how many were left
// out, rather than flood the log and the session.
class GuardLog
{
public:
    static constexpr int PerSecond = 5;

    // Whether to log an event of this key now: the number left out since the last one
    // logged, or none when this one is left out too.
    std::optional<int> admit(const QString& key, qint64 nowMs);

    static QString blocked(bool denied, const QString& path, const QString& user, qint64 pid,
        const ExecPolicy::Verdict& verdict, int leftOut);

private:
    struct Repeats
    {
        qint64 windowStartMs = -1000;
        int inWindow = 0;
        int leftOut = 0;
    };
    QHash<QString, Repeats> m_repeats;
};

} // namespace Tollgate
