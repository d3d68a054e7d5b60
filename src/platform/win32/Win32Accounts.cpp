#include "Win32Accounts.h"

#include "Win32Handle.h"

#include <sddl.h>
#include <vector>

namespace Tollgate::Platform {

namespace {

    QString sidText(PSID sid)
    {
        wchar_t* text = nullptr;
        if (!sid || !::ConvertSidToStringSidW(sid, &text))
            return {};
        const QString result = QString::fromWCharArray(text);
        ::LocalFree(text);
        return result;
    }

    // A token's information of one class; empty on any failure.
    std::vector<char> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what)
    {
        DWORD size = 0;
        ::GetTokenInformation(token, what, nullptr, 0, &size);
        // Tokens with thousands of groups exist; anything beyond this is not a real one.
        if (size == 0 || size > 1024 * 1024)
            return {};
        std::vector<char> buffer(size);
        if (!::GetTokenInformation(token, what, buffer.data(), size, &size))
            return {};
        return buffer;
    }

    QString userOf(HANDLE token)
    {
        const std::vector<char> user = tokenInformation(token, TokenUser);
        return user.empty() ? QString() : sidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
    }

} // namespace

QString Win32Accounts::sidOf(const QString& name)
{
    if (name.isEmpty())
        return {};
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use;
    const auto wideName = reinterpret_cast<const wchar_t*>(name.utf16());
    ::LookupAccountNameW(nullptr, wideName, nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0 || sidSize > SECURITY_MAX_SID_SIZE || domainSize > 1024)
        return {};
    std::vector<char> sid(sidSize);
    std::vector<wchar_t> domain(domainSize + 1);
    if (!::LookupAccountNameW(nullptr, wideName, sid.data(), &sidSize, domain.data(), &domainSize, &use))
        return {};
    return sidText(sid.data());
}

QString Win32Accounts::nameOf(const QString& sid)
{
    PSID binary = nullptr;
    if (!::ConvertStringSidToSidW(reinterpret_cast<const wchar_t*>(sid.utf16()), &binary))
        return sid;
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    QString result = sid;
    if (::LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use))
        result = domainSize > 0 ? QString::fromWCharArray(domain) + u'\\' + QString::fromWCharArray(name)
                                : QString::fromWCharArray(name);
    ::LocalFree(binary);
    return result;
}

std::optional<Win32Accounts::Owner> Win32Accounts::ownerOf(ProcessId pid)
{
    const KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid)));
    KernelHandle token;
    if (!process || !::OpenProcessToken(process.get(), TOKEN_QUERY, token.receive()))
        return std::nullopt;
    return ownerOfToken(token.get());
}

std::optional<Win32Accounts::Owner> Win32Accounts::ownerOfToken(void* token)
{
    Owner owner;
    owner.user = userOf(token);
    if (owner.user.isEmpty())
        return std::nullopt;
    const std::vector<char> groups = tokenInformation(token, TokenGroups);
    if (!groups.empty()) {
        const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
        for (DWORD i = 0; i < list->GroupCount; ++i) {
            if (list->Groups[i].Attributes & SE_GROUP_ENABLED)
                owner.groups.append(sidText(list->Groups[i].Sid));
        }
    }
    return owner;
}

QString Win32Accounts::currentUser()
{
    KernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive()))
        return {};
    return userOf(token.get());
}

bool Win32Accounts::isServiceAccount(const QString& sid)
{
    return sid == u"S-1-5-18" || sid == u"S-1-5-19" || sid == u"S-1-5-20";
}

} // namespace Tollgate::Platform
