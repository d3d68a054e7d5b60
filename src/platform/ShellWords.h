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

    // The words of a command to start: the whole command as one word when it is a path to
    // an executable file, as a quoted path with blanks is once a profile read has stripped
    // its quotes (so a shorter path is never run first); otherwise split as above.
    static std::optional<QStringList> commandWords(const QString& commandLine);
};

} // namespace Tollgate::Platform
