#pragma once

#include <QString>

namespace Tollgate {
class SettingsStore;
class ProgramPaths;
} // namespace Tollgate

namespace Tollgate::Platform {

// The desktop's file and address handlers.
class DesktopShell
{
public:
    virtual ~DesktopShell() = default;

    // Opens a file or web address with the user's default handler; returns at once.
    virtual void open(const QString& pathOrAddress) = 0;
    // Makes ".Tollgate" documents open with this program. Silent on failure.
    virtual void registerFileType(
        SettingsStore& store, const ProgramPaths& paths, const QString& executableName)
        = 0;
};

} // namespace Tollgate::Platform
