#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace Tollgate {

// Text files as Tollgate meets them: written by us in UTF-8, or made on Windows in its
// 8-bit code page or, for registry exports, in UTF-16.
namespace TextFile {

    // Decodes file contents: a UTF-16 or UTF-8 byte order mark wins; otherwise valid UTF-8 is
    // taken as UTF-8 and anything else in the system's own 8-bit code page where it has one
    // (Windows), else as Windows-1252, so no byte is ever lost.
    QString decode(const QByteArray& bytes);

    QString decodeWindows1252(const QByteArray& bytes);

    struct ReadResult
    {
        bool ok = false;
        QString text;
        QString error;
    };

    constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

    struct BytesResult
    {
        bool ok = false;
        QByteArray bytes;
        QString error;
    };

    // Reads a whole file, refusing directories and anything beyond maxBytes.
    BytesResult readBytes(const QString& path, qint64 maxBytes = MaxFileBytes);
    ReadResult read(const QString& path, qint64 maxBytes = MaxFileBytes);

    struct WriteOptions
    {
        // Permissions of a file that does not exist yet; an existing file keeps its own.
        QFile::Permissions newFilePermissions
            = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    };

    // Replaces the file atomically: the old contents stay intact unless the new ones were
    // written in full. Returns an empty string on success, else the reason.
    QString writeAtomically(const QString& path, const QByteArray& bytes, const WriteOptions& options = {});

    // Limits a text to its first maxChars characters (code points, never half a pair).
    QString leftChars(const QString& text, int maxChars);

} // namespace TextFile
} // namespace Tollgate
