#pragma once

#include "platform/PlatformTypes.h"
#include "platform/ProgramFile.h"

#include <QString>
#include <optional>

namespace Tollgate::Platform {

// Program files as the guard compares them: the file a process runs, what identifies this
// version of it, and the name its version resource gives.
class Win32ProgramFiles
{
public:
    // Version resources larger than this are not read: no real program has one.
    static constexpr quint32 MaxVersionResource = 1024 * 1024;

    // The full path of the program a process runs; empty when it cannot be asked.
    static QString imagePath(ProcessId pid);
    // The file open for reading while the result lives; none when it cannot be opened.
    static std::optional<ProgramFile> open(const QString& path);
    // The OriginalFilename of the file's version resource; empty when it has none.
    static QString originalName(const QString& path);
};

} // namespace Tollgate::Platform
