#include "ProcFields.h"

#include "FileDescriptor.h"

#include <QFile>
#include <QList>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

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
    // Read in place: this runs for every new and re-read process.
    const QByteArrayView rest = stat.sliced(close + 2);
    qsizetype flagsAt = 0;
    for (int field = 0; field < 6 && flagsAt >= 0; ++field) {
        flagsAt = rest.indexOf(' ', flagsAt);
        if (flagsAt >= 0)
            ++flagsAt;
    }
    if (flagsAt < 0)
        return std::nullopt;
    const qsizetype flagsEnd = rest.indexOf(' ', flagsAt);
    Stat result;
    result.commandName = stat.sliced(open + 1, close - open - 1).toByteArray();
    result.state = rest.front() == ' ' ? 'X' : rest.front();
    result.flags = rest.sliced(flagsAt, (flagsEnd < 0 ? rest.size() : flagsEnd) - flagsAt).toULongLong();
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

ProcFields::TaskCounters ProcFields::taskCounters(QByteArrayView loadavg)
{
    // "0.42 0.35 0.30 2/431 12345": runnable/total tasks, then the last pid handed out.
    // Only the total and the last pid matter; the runnable count changes all the time.
    // Read every few milliseconds, so without building a list of fields.
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    QByteArrayView fields[5];
    qsizetype count = 0;
    for (qsizetype at = 0; at < loadavg.size() && count < 5;) {
        while (at < loadavg.size() && isBlank(loadavg[at]))
            ++at;
        const qsizetype begin = at;
        while (at < loadavg.size() && !isBlank(loadavg[at]))
            ++at;
        if (at > begin)
            fields[count++] = loadavg.sliced(begin, at - begin);
    }
    if (count < 5)
        return {};
    const qsizetype slash = fields[3].indexOf('/');
    bool totalOk = false;
    bool lastOk = false;
    const qint64 total = slash < 0 ? -1 : fields[3].sliced(slash + 1).toLongLong(&totalOk);
    const quint64 lastPid = fields[4].toULongLong(&lastOk);
    if (!totalOk || !lastOk || total < 0 || lastPid > quint64(INT_MAX))
        return {};
    return {total, quint32(lastPid)};
}

ProcFields::TaskCounters ProcFields::readTaskCounters(int loadavgFd)
{
    char text[256];
    ssize_t got = 0;
    do
        got = ::pread(loadavgFd, text, sizeof text, 0);
    while (got < 0 && errno == EINTR);
    return got > 0 ? taskCounters(QByteArrayView(text, got)) : TaskCounters {};
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

QByteArray ProcFields::readSmallFile(const QByteArray& path, qsizetype limit)
{
    FileDescriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.isValid())
        return QByteArray();
    QByteArray data(limit, Qt::Uninitialized);
    qsizetype used = 0;
    while (used < limit) {
        const ssize_t got = ::read(fd.get(), data.data() + used, size_t(limit - used));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        used += got;
    }
    data.truncate(used);
    return data;
}

} // namespace Tollgate::Platform
