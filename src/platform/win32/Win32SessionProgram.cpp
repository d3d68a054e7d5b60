#include "Win32SessionProgram.h"

#include <QFileInfo>
#include <QWinEventNotifier>
#include <sddl.h>
#include <userenv.h>
#include <vector>
#include <wtsapi32.h>

namespace Tollgate::Platform {

namespace {

    const wchar_t* wide(const QString& text)
    {
        return reinterpret_cast<const wchar_t*>(text.utf16());
    }

    QString failure(const char* what)
    {
        const DWORD code = ::GetLastError();
        return QStringLiteral("%1 failed: %2 (error %3)")
            .arg(QLatin1String(what), qt_error_string(int(code)))
            .arg(code);
    }

    // As Windows splits a command line again: quoted, with the backslashes before a quote
    // doubled.
    QString quoted(const QString& argument)
    {
        QString result = QStringLiteral("\"");
        int backslashes = 0;
        for (const QChar c : argument) {
            if (c == u'\\') {
                ++backslashes;
                continue;
            }
            result += QString(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
            backslashes = 0;
            result += c;
        }
        return result + QString(backslashes * 2, u'\\') + u'"';
    }

    struct LocalMemoryTraits
    {
        using Type = PSECURITY_DESCRIPTOR;
        static bool isValid(Type p) { return p != nullptr; }
        static void close(Type p) { ::LocalFree(p); }
    };
    using SecurityDescriptor = Win32Handle<LocalMemoryTraits>;

    // Only the listed rights, for the system, administrators and the user; the user is
    // denied ending, suspending and changing the object. The owner's implicit right to
    // change the list is taken away through OWNER RIGHTS (OW), which systems before Vista
    // and Wine do not know: without it, the list is made without that entry.
    SecurityDescriptor descriptorFor(const QString& user, DWORD denied, DWORD allowed)
    {
        const QString common
            = QStringLiteral("D:P(D;;0x%2;;;%1)(A;;0x1FFFFF;;;SY)(A;;0x1FFFFF;;;BA)(A;;0x%3;;;%1)")
                  .arg(user)
                  .arg(denied, 0, 16)
                  .arg(allowed, 0, 16);
        for (const QString& sddl :
            {common + QStringLiteral("(A;;0x%1;;;OW)").arg(allowed & ~READ_CONTROL, 0, 16), common}) {
            SecurityDescriptor descriptor;
            if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                    wide(sddl), SDDL_REVISION_1, descriptor.receive(), nullptr))
                return descriptor;
        }
        return {};
    }

    QString userOf(HANDLE token)
    {
        char buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
        DWORD size = 0;
        wchar_t* sid = nullptr;
        if (!::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)
            || !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid))
            return {};
        const QString result = QString::fromWCharArray(sid);
        ::LocalFree(sid);
        return result;
    }

    // The account's own environment, as at its sign-in, with the given entries added.
    std::vector<wchar_t> environmentFor(HANDLE token, const QStringList& extra)
    {
        std::vector<wchar_t> block;
        void* own = nullptr;
        if (::CreateEnvironmentBlock(&own, token, FALSE)) {
            for (const wchar_t* entry = static_cast<const wchar_t*>(own); *entry; entry += wcslen(entry) + 1)
                block.insert(block.end(), entry, entry + wcslen(entry) + 1);
            ::DestroyEnvironmentBlock(own);
        }
        for (const QString& entry : extra) {
            const std::wstring text = entry.toStdWString();
            block.insert(block.end(), text.c_str(), text.c_str() + text.size() + 1);
        }
        block.push_back(L'\0');
        block.push_back(L'\0');
        return block;
    }

} // namespace

std::unique_ptr<Win32SessionProgram> Win32SessionProgram::start(quint32 session, const QString& program,
    const QStringList& arguments, const QStringList& environment, QString& error)
{
    KernelHandle sessionToken;
    if (!::WTSQueryUserToken(session, sessionToken.receive())) {
        error = failure("WTSQueryUserToken");
        return nullptr;
    }
    KernelHandle token;
    if (!::DuplicateTokenEx(sessionToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
            token.receive())) {
        error = failure("DuplicateTokenEx");
        return nullptr;
    }
    const QString user = userOf(token.get());
    constexpr DWORD Denied = PROCESS_TERMINATE | PROCESS_SUSPEND_RESUME | PROCESS_VM_WRITE
        | PROCESS_VM_OPERATION | PROCESS_CREATE_THREAD | WRITE_DAC | WRITE_OWNER;
    constexpr DWORD Allowed
        = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_QUERY_INFORMATION | SYNCHRONIZE | READ_CONTROL;
    constexpr DWORD ThreadDenied
        = THREAD_TERMINATE | THREAD_SUSPEND_RESUME | THREAD_SET_CONTEXT | WRITE_DAC | WRITE_OWNER;
    constexpr DWORD ThreadAllowed = THREAD_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | READ_CONTROL;
    SecurityDescriptor processDescriptor
        = user.isEmpty() ? SecurityDescriptor() : descriptorFor(user, Denied, Allowed);
    SecurityDescriptor threadDescriptor
        = user.isEmpty() ? SecurityDescriptor() : descriptorFor(user, ThreadDenied, ThreadAllowed);
    SECURITY_ATTRIBUTES processAttributes {sizeof(SECURITY_ATTRIBUTES), processDescriptor.get(), FALSE};
    SECURITY_ATTRIBUTES threadAttributes {sizeof(SECURITY_ATTRIBUTES), threadDescriptor.get(), FALSE};

    QString commandLine = quoted(program);
    for (const QString& argument : arguments)
        commandLine += u' ' + quoted(argument);
    std::vector<wchar_t> line(commandLine.size() + 1);
    commandLine.toWCharArray(line.data());
    std::vector<wchar_t> block = environmentFor(token.get(), environment);
    const QString folder = QFileInfo(program).absolutePath();
    const QString nativeFolder = QString(folder).replace(u'/', u'\\');
    wchar_t desktop[] = L"winsta0\\default";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION info {};
    if (!::CreateProcessAsUserW(token.get(), wide(program), line.data(),
            processDescriptor ? &processAttributes : nullptr, threadDescriptor ? &threadAttributes : nullptr,
            FALSE, CREATE_UNICODE_ENVIRONMENT, block.data(), wide(nativeFolder), &startup, &info)) {
        error = failure("CreateProcessAsUserW");
        return nullptr;
    }
    ::CloseHandle(info.hThread);
    return std::make_unique<Win32SessionProgram>(Started(), KernelHandle(info.hProcess), info.dwProcessId);
}

Win32SessionProgram::Win32SessionProgram(Started, KernelHandle process, qint64 pid)
    : m_process(std::move(process))
    , m_pid(pid)
    , m_notifier(new QWinEventNotifier(m_process.get(), this))
{
    connect(m_notifier, &QWinEventNotifier::activated, this, [this] {
        m_notifier->setEnabled(false);
        DWORD code = 0;
        ::GetExitCodeProcess(m_process.get(), &code);
        emit finished(int(code));
    });
}

Win32SessionProgram::~Win32SessionProgram()
{
    m_notifier->setEnabled(false);
}

void Win32SessionProgram::terminate()
{
    m_notifier->setEnabled(false);
    ::TerminateProcess(m_process.get(), 1);
    ::WaitForSingleObject(m_process.get(), 1000);
}

} // namespace Tollgate::Platform
