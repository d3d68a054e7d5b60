#pragma once

#include <QStringList>
#include <optional>

namespace Tollgate::Platform {

// Splits a command line into words the way a POSIX shell treats quoting: blanks separate
// words, single quotes keep everything, double quotes keep everything but \" \\ \$ \`,
// and a backslash outside quotes keeps the next character. Nothing is expanded: no
// variables, globs, tildes or redirections. An unterminated quote gives no value.
class ShellWords
{
public:
    static std::optional<QStringList> split(const QString& commandLine);
};

} // namespace Tollgate::Platform
