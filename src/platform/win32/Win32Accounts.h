#pragma once

#include "platform/PlatformTypes.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace Tollgate::Platform {

// Accounts and groups by their security identifiers (SIDs), written as text ("S-1-5-...").
class Win32Accounts
{
public:
    // The account a process runs as, and the groups its token has enabled.
    struct Owner
    {
        QString user;
        QStringList groups;
    };

    // The SID of an account or group name ("name" or "DOMAIN\name"); empty when Windows
    // knows no such name.
    static QString sidOf(const QString& name);
    // "DOMAIN\name" of a SID, or the SID itself when it has no name.
    static QString nameOf(const QString& sid);
    static std::optional<Owner> ownerOf(ProcessId pid);
    // The same of a token (a HANDLE) opened for querying.
    static std::optional<Owner> ownerOfToken(void* token);
    // The user of this process.
    static QString currentUser();
    // LocalSystem, LocalService and NetworkService: the accounts services run as.
    static bool isServiceAccount(const QString& sid);
};

} // namespace Tollgate::Platform
