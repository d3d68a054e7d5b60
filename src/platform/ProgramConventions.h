#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace Tollgate::Platform {

// How this system names processes and reads Always Run command lines, so that a rule set
// can be checked against what the process table will report and start.
struct ProgramConventions
{
    // Whether process names keep their file's ending: "notepad.exe" on Windows, "gedit"
    // on Linux.
    bool namesEndInExe = false;
    // The folder separator that a process name must not contain.
    QChar folderSeparator = u'/';
    // The program a command line would start; nothing when a quote is not closed.
    std::function<std::optional<QString>(const QString& commandLine)> programOf;
    // Whether that program is there: at its path when it has a folder, else on the search
    // path.
    std::function<bool(const QString& program)> programExists;
};

} // namespace Tollgate::Platform
