#include "Win32ProcessTable.h"

#include "Win32Handle.h"

#include <algorithm>
#include <psapi.h>
#include <tlhelp32.h>
#include <vector>

namespace Tollgate::Platform {

namespace {

    bool isBlank(QChar c)
    {
        return c == u' ' || c == u'\t';
    }

    bool hasFolder(const QString& program)
    {
        return program.contains(u'\\') || program.contains(u'/') || program.contains(u':');
    }

    // The path as the system holds it: the size needed is asked for first.
    template<typename Query> QString pathFrom(Query query)
    {
        std::vector<wchar_t> buffer(MAX_PATH);
        for (int attempt = 0; attempt < 3; ++attempt) {
            const DWORD length = query(buffer.data(), DWORD(buffer.size()));
            if (length == 0)
                return QString();
            if (length < buffer.size())
                return QString::fromWCharArray(buffer.data(), length);
            buffer.resize(size_t(length) + 1);
        }
        return QString();
    }

    bool isFile(const QString& path)
    {
        const DWORD attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()));
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    bool processIsElevated()
    {
        KernelHandle token;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive()))
            return false;
        TOKEN_ELEVATION elevation {};
        DWORD size = 0;
        return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)
            && elevation.TokenIsElevated != 0;
    }

} // namespace

QList<ProcessEntry> Win32ProcessTable::snapshot()
{
    QList<ProcessEntry> result;
    const KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return result;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        // Pid 0 is the idle pseudo-process, nothing that could be ended.
        if (entry.th32ProcessID != 0)
            result.append({entry.th32ProcessID, QString::fromWCharArray(entry.szExeFile)});
    }
    std::sort(result.begin(), result.end(),
        [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return result;
}

QList<ProcessId> Win32ProcessTable::processIds()
{
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    // A full buffer may have left some out: a larger one, up to a bound no machine reaches.
    while (::K32EnumProcesses(ids.data(), DWORD(ids.size() * sizeof(DWORD)), &bytes)
        && bytes == ids.size() * sizeof(DWORD) && ids.size() < 1024 * 1024)
        ids.resize(ids.size() * 4);
    return QList<ProcessId>(ids.begin(), ids.begin() + bytes / sizeof(DWORD));
}

TerminateResult Win32ProcessTable::terminate(ProcessId pid)
{
    if (pid == 0)
        return TerminateResult::NoSuchProcess;
    // Asking for the exit code too, where allowed: Wine ends an ended process once more
    // without complaint, and Windows refuses it as if access were denied.
    KernelHandle process(::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process && ::GetLastError() == ERROR_ACCESS_DENIED)
        process.reset(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (!process) {
        // An unknown pid is an "invalid parameter" to OpenProcess.
        return ::GetLastError() == ERROR_ACCESS_DENIED ? TerminateResult::NotPermitted
                                                       : TerminateResult::NoSuchProcess;
    }
    DWORD exitCode = 0;
    if (::GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE)
        return TerminateResult::NoSuchProcess;
    if (::TerminateProcess(process.get(), 1))
        return TerminateResult::Terminated;
    return ::GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE
        ? TerminateResult::NoSuchProcess
        : TerminateResult::NotPermitted;
}

QList<Win32ProcessTable::ProgramSplit> Win32ProcessTable::programSplits(const QString& commandLine)
{
    qsizetype start = 0;
    while (start < commandLine.size() && isBlank(commandLine.at(start)))
        ++start;
    const QString line = commandLine.mid(start);
    if (line.isEmpty())
        return {};
    if (line.front() == u'"') {
        const qsizetype close = line.indexOf(u'"', 1);
        if (close <= 1)
            return {};
        return {{line.mid(1, close - 1), line.mid(close + 1)}};
    }
    qsizetype firstBlank = 0;
    while (firstBlank < line.size() && !isBlank(line.at(firstBlank)))
        ++firstBlank;
    // Quotes inside an unquoted program would end up in the path.
    if (line.left(firstBlank).contains(u'"'))
        return {};
    if (!hasFolder(line.left(firstBlank)))
        return {{line.left(firstBlank), line.mid(firstBlank)}};

    QList<ProgramSplit> splits;
    qsizetype end = line.size();
    while (end >= firstBlank) {
        // Each reading ends where a word ends; blanks before its end belong to the rest.
        qsizetype wordEnd = end;
        while (wordEnd > 0 && isBlank(line.at(wordEnd - 1)))
            --wordEnd;
        const QString program = line.left(wordEnd);
        if (wordEnd >= firstBlank && !program.contains(u'"'))
            splits.append({program, line.mid(wordEnd)});
        // The next shorter reading ends at the blank before this word.
        end = wordEnd;
        while (end > 0 && !isBlank(line.at(end - 1)))
            --end;
        if (end == 0)
            break;
    }
    return splits;
}

QString Win32ProcessTable::resolveProgram(const QString& program)
{
    if (program.isEmpty())
        return QString();
    if (hasFolder(program)) {
        QStringList candidates {program};
        if (!program.section(u'\\', -1).section(u'/', -1).contains(u'.'))
            candidates.append(program + QStringLiteral(".exe"));
        for (const QString& candidate : candidates) {
            if (!isFile(candidate))
                continue;
            return pathFrom([&](wchar_t* buffer, DWORD size) {
                return ::GetFullPathNameW(
                    reinterpret_cast<const wchar_t*>(candidate.utf16()), size, buffer, nullptr);
            });
        }
        return QString();
    }
    return pathFrom([&](wchar_t* buffer, DWORD size) {
        return ::SearchPathW(
            nullptr, reinterpret_cast<const wchar_t*>(program.utf16()), L".exe", size, buffer, nullptr);
    });
}

ProcessId Win32ProcessTable::start(const QString& commandLine)
{
    for (const ProgramSplit& split : programSplits(commandLine)) {
        const QString path = resolveProgram(split.program);
        if (path.isEmpty())
            continue;
        // The program gets its full path as the application name, so Windows never
        // searches for it again, and its word quoted in the command line it reads.
        const QString line = u'"' + split.program + u'"' + split.rest;
        std::vector<wchar_t> writable(size_t(line.size()) + 1, L'\0');
        line.toWCharArray(writable.data());
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info {};
        if (!::CreateProcessW(reinterpret_cast<const wchar_t*>(path.utf16()), writable.data(), nullptr,
                nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &info))
            return 0;
        const KernelHandle process(info.hProcess);
        const KernelHandle thread(info.hThread);
        return info.dwProcessId;
    }
    return 0;
}

QList<CapabilityStatus> Win32ProcessTable::capabilities()
{
    QList<CapabilityStatus> result;
    const KernelHandle probe(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    result.append({Capability::ProcessNames, probe.isValid(),
        probe ? QStringLiteral("Toolhelp process snapshots")
              : QStringLiteral("no process snapshot could be taken (error %1)").arg(::GetLastError())});
    const bool elevated = processIsElevated();
    result.append({Capability::TerminationRights, true,
        elevated ? QStringLiteral("any process (Tollgate runs elevated)")
                 : QStringLiteral("only this user's processes that are not elevated; other users' and "
                                  "elevated processes need Tollgate run as administrator")});
    result.append({Capability::ProcessEvents, false,
        QStringLiteral("Windows reports process starts only to administrators: the survey polls the "
                       "process list on its tick")});
    return result;
}

} // namespace Tollgate::Platform
