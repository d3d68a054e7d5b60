#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

namespace Tollgate {

class MessageCatalogue;

// The program's command-line modes that need no window.
namespace CommandLine {

    // Loads the document as an unattended start would and describes the rule set as one JSON
    // object. Returns the exit code: 0, or 2 when the path names no readable file.
    int check(const QString& path, const MessageCatalogue& catalogue, QTextStream& out, QTextStream& err);

} // namespace CommandLine
} // namespace Tollgate
