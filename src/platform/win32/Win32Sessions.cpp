#include "Win32Sessions.h"

#include "Win32Accounts.h"
#include "Win32Handle.h"

#include <wtsapi32.h>

namespace Tollgate::Platform {

QList<Win32Sessions::Session> Win32Sessions::interactive()
{
    QList<quint32> ids;
    WTS_SESSION_INFOW* sessions = nullptr;
    DWORD count = 0;
    if (::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        for (DWORD i = 0; i < count; ++i) {
            if (sessions[i].State == WTSActive)
                ids.append(sessions[i].SessionId);
        }
        ::WTSFreeMemory(sessions);
    }
    if (const DWORD console = ::WTSGetActiveConsoleSessionId();
        console != 0xFFFFFFFF && !ids.contains(console))
        ids.append(console);

    QList<Session> result;
    for (const quint32 id : std::as_const(ids)) {
        KernelHandle token;
        if (id == 0 || !::WTSQueryUserToken(id, token.receive()))
            continue; // nobody signed in
        const std::optional<Win32Accounts::Owner> owner = Win32Accounts::ownerOfToken(token.get());
        if (!owner)
            continue;
        result.append({id, *owner});
    }
    return result;
}

} // namespace Tollgate::Platform
