#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Tollgate {

// /etc/tollgate/guard.conf: which document the guard follows, which accounts it enforces
// on, and, for machines without logind, the sessions in which it keeps Tollgate running.
//
//     [Guard]
//     Document=/etc/tollgate/lab.Tollgate
//     Accounts=pupil1,pupil2,@students
//     Sessions=pupil1 :0; pupil2 :1
//
// A ";" after a blank, or at the start of a line, begins a comment; so does "#" at the
// start of a line.
struct GuardConfig
{
    static constexpr const char* DefaultPath = "/etc/tollgate/guard.conf";

    struct Session
    {
        QString user;
        QString display;
        friend bool operator==(const Session&, const Session&) = default;
    };

    QString document;
    QStringList accounts; // account names
    QStringList groups; // group names, without the "@"
    QList<Session> sessions;
    QStringList warnings; // what was not understood; the rest still applies

    static GuardConfig parse(const QString& text);
    // The document's bytes, or why they cannot be used: no such file, not a file, empty, or
    // the read error.
    struct DocumentBytes
    {
        QByteArray bytes;
        QString error;
    };
    static DocumentBytes readDocument(const QString& path);
    // Adds the accounts and "@groups" of an Accounts value, separated by commas or blanks.
    void addAccounts(const QString& value);
};

} // namespace Tollgate
