#include "ActivityLog.h"

#include "Clock.h"
#include "lang/ProgramPaths.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QOperatingSystemVersion>
#include <QRegularExpression>
#include <QStandardPaths>

namespace Tollgate {

const QString ActivityLog::FileName = QStringLiteral("Tollgate.log");
const QString ActivityLog::HeaderLine = QStringLiteral("Date/Time;WindowTitle;Keyword");

namespace {

    QString oneLine(QString text)
    {
        // A title with a line break would start a line of its own.
        text.replace(u'\r', u' ');
        text.replace(u'\n', u' ');
        return text;
    }

} // namespace

ActivityLog::ActivityLog(QString path, const Clock& clock, QLocale locale)
    : m_path(std::move(path))
    , m_clock(clock)
    , m_locale(std::move(locale))
{
    // The locale's long time format, without the time zone that Qt adds to it.
    m_timeFormat = m_locale.timeFormat(QLocale::LongFormat);
    m_timeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\(?t+\\)?")));
    m_timeFormat = m_timeFormat.trimmed();
    // The locale's short date, but with the whole year: the log is kept for years and read
    // by programs, and some locales give only two digits ("07.12.26").
    m_dateFormat = m_locale.dateFormat(QLocale::ShortFormat);
    if (!m_dateFormat.contains(QStringLiteral("yyyy")))
        m_dateFormat.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
}

ActivityLog::ActivityLog(QString path, const Clock& clock, Platform::SystemLog& systemLog, QLocale locale)
    : ActivityLog(std::move(path), clock, std::move(locale))
{
    m_systemLog = &systemLog;
}

QString ActivityLog::defaultPath(const ProgramPaths& paths)
{
    const QFileInfo folder(paths.programFolder());
    if (folder.isDir() && folder.isWritable())
        return paths.programFolder() + u'/' + FileName;
    // Windows keeps a user's program state under %LOCALAPPDATA%, Linux under the XDG state home.
    if (QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows)
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/Tollgate/") + FileName;
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tollgate/") + FileName;
}

QString ActivityLog::eventLine(const QString& first, const QString& second) const
{
    const QDateTime now = m_clock.currentDateTime();
    return m_locale.toString(now.date(), m_dateFormat) + u' ' + m_locale.toString(now.time(), m_timeFormat)
        + u';' + oneLine(first) + u';' + oneLine(second);
}

bool ActivityLog::WriteLog(
    const QString& first, const QString& second, Event event, Platform::SystemLogFields fields)
{
    const bool written = writeFile(first, second);
    if (m_systemLog) {
        using Priority = Platform::SystemLog::Priority;
        namespace Id = Platform::SystemLogMessageId;
        fields.messageId = event == Event::Started ? Id::Started
            : event == Event::StartFailed          ? Id::StartFailed
            : event == Event::NotReloaded          ? Id::DocumentRejected
                                                   : Id::Blocked;
        if (fields.rule.isEmpty() && fields.action.isEmpty()) {
            fields.rule = first;
            fields.action = second;
        }
        m_systemLog->write(event == Event::Started                           ? Priority::Info
                : event == Event::StartFailed || event == Event::NotReloaded ? Priority::Warning
                                                                             : Priority::Notice,
            oneLine(first) + u';' + oneLine(second), fields);
        if (!written)
            m_systemLog->write(
                Priority::Warning, QStringLiteral("cannot write the activity log %1").arg(m_path));
    }
    return written;
}

bool ActivityLog::writeFile(const QString& first, const QString& second)
{
    QString text;
    if (!QFileInfo::exists(m_path)) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        text = HeaderLine + QStringLiteral("\r\n");
    }
    text += eventLine(first, second) + QStringLiteral("\r\n");
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    // One write, so that a reader never sees half a line from us.
    const QByteArray bytes = text.toUtf8();
    return file.write(bytes) == bytes.size();
}

void ActivityLog::DeleteLog()
{
    QFile::remove(m_path);
}

} // namespace Tollgate
