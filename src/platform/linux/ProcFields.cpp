#include "ProcFields.h"

#include <QFile>
#include <QList>

namespace Tollgate::Platform {

namespace {

    constexpr quint64 KernelThreadFlag = 0x00200000; // PF_KTHREAD
    constexpr quint64 KillCapability = 1ULL << 5; // CAP_KILL

} // namespace

std::optional<ProcFields::Stat> ProcFields::parseStat(QByteArrayView stat)
{
    // The command name sits in parentheses and may itself hold ") ", so the fields
    // start after the last parenthesis: state, ppid, pgrp, session, tty, tpgid, flags.
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open || close + 2 >= stat.size())
        return std::nullopt;
    const QList<QByteArray> fields = stat.sliced(close + 2).toByteArray().split(' ');
    if (fields.size() < 7)
        return std::nullopt;
    Stat result;
    result.commandName = stat.sliced(open + 1, close - open - 1).toByteArray();
    result.state = fields.at(0).isEmpty() ? 'X' : fields.at(0).at(0);
    result.flags = fields.at(6).toULongLong();
    return result;
}

bool ProcFields::isRunningProgram(const Stat& stat)
{
    return stat.state != 'Z' && stat.state != 'X' && stat.state != 'x' && !(stat.flags & KernelThreadFlag);
}

QString ProcFields::baseName(QByteArrayView path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return QFile::decodeName(path.sliced(slash + 1).toByteArray());
}

QString ProcFields::exeName(QByteArrayView linkTarget)
{
    constexpr QByteArrayView deleted(" (deleted)");
    if (linkTarget.endsWith(deleted))
        linkTarget.chop(deleted.size());
    return baseName(linkTarget);
}

QString ProcFields::commandLineName(QByteArrayView commandLine)
{
    const qsizetype end = commandLine.indexOf('\0');
    return baseName(end < 0 ? commandLine : commandLine.first(end));
}

QByteArray ProcFields::taskCounters(QByteArrayView loadavg)
{
    // "0.42 0.35 0.30 2/431 12345": runnable/total tasks, then the last pid handed out.
    // Only the total and the last pid matter; the runnable count changes all the time.
    const QList<QByteArray> fields = loadavg.toByteArray().trimmed().split(' ');
    if (fields.size() < 5 || !fields.at(3).contains('/'))
        return QByteArray();
    return fields.at(3).sliced(fields.at(3).indexOf('/') + 1) + ' ' + fields.at(4);
}

bool ProcFields::mayBeNewPid(quint32 pid, QByteArrayView countersBefore, QByteArrayView countersNow)
{
    const auto lastPid = [](QByteArrayView counters) -> std::optional<quint64> {
        bool ok = false;
        const quint64 last = counters.sliced(counters.lastIndexOf(' ') + 1).toULongLong(&ok);
        return ok ? std::optional(last) : std::nullopt;
    };
    const std::optional<quint64> before = lastPid(countersBefore);
    const std::optional<quint64> now = lastPid(countersNow);
    if (!before || !now)
        return true;
    if (*now >= *before)
        return pid > *before && pid <= *now;
    return pid > *before || pid <= *now;
}

bool ProcFields::statusGrantsKill(QByteArrayView status)
{
    for (const QByteArray& line : status.toByteArray().split('\n')) {
        if (line.startsWith("CapEff:")
            && (line.sliced(7).trimmed().toULongLong(nullptr, 16) & KillCapability))
            return true;
    }
    return false;
}

} // namespace Tollgate::Platform
