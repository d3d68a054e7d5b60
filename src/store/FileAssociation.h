#pragma once

#include <QString>

namespace Tollgate {

class ProgramPaths;
class SettingsStore;

namespace Platform {
    class DesktopShell;
    struct FileTypeRegistration;
} // namespace Platform

// Makes ".Tollgate" documents open with this program: the three classes-root values that
// the rest of the program reads, then the desktop's own registration.
class FileAssociation
{
public:
    FileAssociation(SettingsStore& store, Platform::DesktopShell& shell);

    // Run on every start, so that a program that moved is registered again. Writes only
    // the values that differ; silent on failure.
    void RegisterFileType(const ProgramPaths& paths, const QString& executableName);

    // The program file and icon for a program in paths.
    static Platform::FileTypeRegistration registrationFor(
        const ProgramPaths& paths, const QString& executableName);

private:
    void writeIfChanged(const QString& key, const QString& value);

    SettingsStore& m_store;
    Platform::DesktopShell& m_shell;
};

} // namespace Tollgate
