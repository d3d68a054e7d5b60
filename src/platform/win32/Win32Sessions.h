#pragma once

#include "Win32Accounts.h"

#include <QList>
#include <QString>
#include <QtGlobal>

namespace Tollgate::Platform {

// The sessions in which someone is signed in at the machine or over Remote Desktop.
class Win32Sessions
{
public:
    struct Session
    {
        quint32 id = 0;
        Win32Accounts::Owner owner;
    };

    // The active sessions with the account signed in to each, by SID: its name may take a
    // domain controller's answer. The console's session
    // counts too, since some systems list no sessions at all; session 0, where services
    // run, never does.
    static QList<Session> interactive();
};

} // namespace Tollgate::Platform
