#pragma once

#include <QString>

namespace Tollgate::Platform {

// What the desktop needs to open ".Tollgate" documents with this program.
struct FileTypeRegistration
{
    // The program's executable, a full path.
    QString programFile;
    // The documents' icon; it may name no file.
    QString iconFile;
};

// The desktop's file and address handlers.
class DesktopShell
{
public:
    virtual ~DesktopShell() = default;

    // Opens a file or web address with the user's default handler; returns at once.
    virtual void open(const QString& pathOrAddress) = 0;
    // Makes ".Tollgate" documents open with the program. Silent on failure.
    virtual void registerFileType(const FileTypeRegistration& registration) = 0;
};

} // namespace Tollgate::Platform
