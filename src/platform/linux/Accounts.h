#pragma once

#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <optional>
#include <vector>

namespace Tollgate::Platform {

// Local accounts as the name service knows them. Looked up when a configuration is read,
// never while an exec waits for an answer: the name service may be a network away.
struct Account
{
    uint uid = 0;
    uint gid = 0;
    QString name;
    QString home;
    std::vector<unsigned> groups; // supplementary groups, for a process started as the account
};

namespace Accounts {
    std::optional<Account> byName(const QString& name);
    std::optional<Account> byUid(uint uid);
    // The accounts of a group: its listed members and those whose primary group it is.
    // Nothing when there is no such group.
    std::optional<QSet<uint>> membersOf(const QString& group);
    // Makes the process start as the account, in a session of its own: the credentials
    // are dropped in the child before it runs the program, and a child that cannot drop
    // them exits rather than run as root.
    void runAs(QProcess& process, const Account& account);
} // namespace Accounts

} // namespace Tollgate::Platform
