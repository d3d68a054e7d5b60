#pragma once

#include "platform/SystemLog.h"

#include <QLocale>
#include <QString>

namespace Tollgate {

class Clock;
class ProgramPaths;

// "Tollgate.log": a header line, then one line per enforcement: date and time, then two
// texts, separated by ";". Nothing reads it back; each line opens and closes the file, so
// another program may read it between lines.
class ActivityLog
{
public:
    static const QString FileName;
    static const QString HeaderLine;

    // What a line records; it decides the line's priority and message id in the system log.
    // NotReloaded: a new version of the document was not taken up.
    enum class Event { Blocked, Started, StartFailed, NotReloaded };

    ActivityLog(QString path, const Clock& clock, QLocale locale = QLocale::system());
    // The same, and every line also goes to the system log.
    ActivityLog(
        QString path, const Clock& clock, Platform::SystemLog& systemLog, QLocale locale = QLocale::system());

    // The program folder when it is writable (a run from the build tree), else the XDG
    // state home (an installed program).
    static QString defaultPath(const ProgramPaths& paths);

    QString LogFilePath() const { return m_path; }
    // Appends one line, creating the file with its header line first. Returns false when
    // the line could not be written; the survey goes on either way.
    // The system log gets the line without its date, with the fields, and a warning when
    // the file could not be written. Fields without a rule and an action take the first
    // and the second text for them.
    bool WriteLog(const QString& first, const QString& second, Event event = Event::Blocked,
        Platform::SystemLogFields fields = {});
    void DeleteLog();

    // The event line without its line end, as WriteLog writes it now.
    QString eventLine(const QString& first, const QString& second) const;

private:
    bool writeFile(const QString& first, const QString& second);

    QString m_path;
    const Clock& m_clock;
    Platform::SystemLog* m_systemLog = nullptr;
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
};

} // namespace Tollgate
