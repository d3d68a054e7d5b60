#include "Accounts.h"

#include <QFile>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace Tollgate::Platform {

namespace {

    Account fromEntry(const passwd& entry)
    {
        Account account;
        account.uid = entry.pw_uid;
        account.gid = entry.pw_gid;
        account.name = QString::fromLocal8Bit(entry.pw_name);
        account.home = QFile::decodeName(entry.pw_dir ? entry.pw_dir : "/");
        int count = 64;
        std::vector<gid_t> groups(static_cast<size_t>(count));
        if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) {
            groups.resize(size_t(count));
            if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0)
                count = 0;
        }
        account.groups.assign(groups.begin(), groups.begin() + count);
        if (account.groups.empty())
            account.groups.push_back(entry.pw_gid);
        return account;
    }

    template<typename Lookup> std::optional<Account> lookUp(Lookup lookup)
    {
        std::vector<char> buffer(16384);
        passwd entry {};
        passwd* found = nullptr;
        if (lookup(&entry, buffer.data(), buffer.size(), &found) != 0 || !found)
            return std::nullopt;
        return fromEntry(entry);
    }

} // namespace

std::optional<Account> Accounts::byName(const QString& name)
{
    const QByteArray bytes = name.toLocal8Bit();
    return lookUp([&](passwd* entry, char* buffer, size_t size, passwd** found) {
        return ::getpwnam_r(bytes.constData(), entry, buffer, size, found);
    });
}

std::optional<Account> Accounts::byUid(uint uid)
{
    return lookUp([&](passwd* entry, char* buffer, size_t size, passwd** found) {
        return ::getpwuid_r(uid_t(uid), entry, buffer, size, found);
    });
}

std::optional<QSet<uint>> Accounts::membersOf(const QString& group)
{
    std::vector<char> buffer(65536);
    struct group entry
    {
    };
    struct group* found = nullptr;
    if (::getgrnam_r(group.toLocal8Bit().constData(), &entry, buffer.data(), buffer.size(), &found) != 0
        || !found)
        return std::nullopt;
    QSet<uint> members;
    for (char** member = entry.gr_mem; member && *member; ++member) {
        if (const std::optional<Account> account = byName(QString::fromLocal8Bit(*member)))
            members.insert(account->uid);
    }
    const gid_t gid = entry.gr_gid;
    ::setpwent();
    while (const passwd* user = ::getpwent()) {
        if (user->pw_gid == gid)
            members.insert(user->pw_uid);
    }
    ::endpwent();
    return members;
}

void Accounts::runAs(QProcess& process, const Account& account)
{
    // Only system calls after the fork: the guard has threads, and the name service is
    // not safe to use in the child.
    process.setChildProcessModifier(
        [uid = uid_t(account.uid), gid = gid_t(account.gid),
            groups = std::vector<gid_t>(account.groups.begin(), account.groups.end())] {
            ::setsid();
            if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0
                || ::getuid() != uid || (uid != 0 && ::setuid(0) == 0))
                ::_exit(126);
            // After the credentials change, which clears it: the program ends with the guard.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        });
}

} // namespace Tollgate::Platform
