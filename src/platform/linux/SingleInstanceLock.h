#pragma once

#include "FileDescriptor.h"
#include "platform/SingleInstance.h"

#include <QString>

namespace Tollgate::Platform {

// Tells whether another instance runs for this user: an flock on a file that the kernel
// releases when its holder ends, however it ends. The file lies in $XDG_RUNTIME_DIR, or
// else is a per-user file in the temporary folder that is opened without following links.
class SingleInstanceLock : public SingleInstance
{
public:
    explicit SingleInstanceLock(const QString& name = QStringLiteral("tollgate"));

    // Takes the lock if it is free; true when another instance holds it. A lock file that
    // cannot be opened safely counts as free, so the program still starts.
    bool otherInstanceRuns() override;
    bool holdsLock() const { return m_holds; }

    // Where the lock file lies for this user and environment.
    static QString lockPath(const QString& name);

private:
    QString m_path;
    FileDescriptor m_fd;
    bool m_holds = false;
};

} // namespace Tollgate::Platform
