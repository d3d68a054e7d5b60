#pragma once

#include "platform/DesktopShell.h"

namespace Tollgate::Platform {

// The Windows shell: ShellExecuteW opens files and addresses; the document type itself is
// written to the registry's classes by the caller, and the shell is only told of it here.
class Win32DesktopShell : public DesktopShell
{
public:
    void open(const QString& pathOrAddress) override;
    void registerFileType(const FileTypeRegistration& registration) override;
};

} // namespace Tollgate::Platform
