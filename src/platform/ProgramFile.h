#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

namespace Tollgate::Platform {

// A program file as a guard sees it: where it is, what identifies this version of it, and
// a way to read it without opening it again (an open of the file would ask the guard).
struct ProgramFile
{
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 modifiedNs = 0;
    qint64 size = -1; // -1: unknown, nothing to compare
    // The name the program's version resource gives it (Windows' OriginalFilename), which
    // a renamed copy keeps; empty where there is none.
    QString originalName;
    // Up to length bytes at offset; fewer at the end of the file or on an error.
    std::function<QByteArray(qint64 offset, qint64 length)> read;
};

} // namespace Tollgate::Platform
