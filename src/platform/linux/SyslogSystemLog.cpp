#include "SyslogSystemLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace Tollgate::Platform {

namespace {

    // The syslog severity.
    int severity(SystemLog::Priority priority)
    {
        switch (priority) {
        case SystemLog::Priority::Warning:
            return 4;
        case SystemLog::Priority::Notice:
            return 5;
        case SystemLog::Priority::Info:
            break;
        }
        return 6;
    }

    constexpr int UserFacility = 1;

    // At most MaxMessageBytes, never ending inside a UTF-8 sequence: a cut before a
    // continuation byte moves back to the start of its character.
    QByteArray cut(QByteArray bytes)
    {
        if (bytes.size() <= SyslogSystemLog::MaxMessageBytes)
            return bytes;
        qsizetype end = SyslogSystemLog::MaxMessageBytes;
        while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            --end;
        bytes.truncate(end);
        return bytes;
    }

    // Program names and titles come from anywhere: a value with a line break goes in the
    // binary form, which takes any bytes.
    void appendField(QByteArray& datagram, const char* key, const QByteArray& value)
    {
        if (value.isEmpty())
            return;
        const QByteArray bytes = cut(value);
        datagram += key;
        if (!bytes.contains('\n')) {
            datagram += '=' + bytes + '\n';
            return;
        }
        const quint64 size = qToLittleEndian<quint64>(bytes.size());
        datagram += '\n';
        datagram.append(reinterpret_cast<const char*>(&size), sizeof size);
        datagram += bytes + '\n';
    }

} // namespace

SyslogSystemLog::SyslogSystemLog(QByteArray identifier, QByteArray journalSocket, QByteArray syslogSocket)
    : m_identifier(std::move(identifier))
    , m_journalSocket(std::move(journalSocket))
    , m_syslogSocket(std::move(syslogSocket))
{ }

QByteArray SyslogSystemLog::journalDatagram(
    Priority priority, const QString& message, const SystemLogFields& fields) const
{
    QByteArray datagram;
    appendField(datagram, "MESSAGE", message.toUtf8());
    appendField(datagram, "PRIORITY", QByteArray::number(severity(priority)));
    appendField(datagram, "SYSLOG_IDENTIFIER", m_identifier);
    appendField(datagram, "SYSLOG_FACILITY", QByteArray::number(UserFacility));
    appendField(datagram, "MESSAGE_ID", fields.messageId);
    appendField(datagram, "TOLLGATE_RULE", fields.rule.toUtf8());
    appendField(datagram, "TOLLGATE_ACTION", fields.action.toUtf8());
    appendField(datagram, "TOLLGATE_ACCOUNT", fields.account.toUtf8());
    appendField(datagram, "TOLLGATE_PROGRAM", fields.program.toUtf8());
    return datagram;
}

QByteArray SyslogSystemLog::syslogDatagram(
    Priority priority, const QString& message, qint64 pid, const QDateTime& now) const
{
    QString text = message;
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    // The timestamp as the protocol spells it, in English whatever the user's language.
    const QString stamp = QLocale::c().toString(now, QStringLiteral("MMM d hh:mm:ss"));
    const QString day = stamp.section(u' ', 1, 1);
    const QString padded
        = stamp.section(u' ', 0, 0) + u' ' + day.rightJustified(2, u' ') + u' ' + stamp.section(u' ', 2);
    return '<' + QByteArray::number((UserFacility << 3) | severity(priority)) + '>' + padded.toLatin1() + ' '
        + m_identifier + '[' + QByteArray::number(pid) + "]: " + cut(text.toUtf8());
}

SyslogSystemLog::Delivery SyslogSystemLog::send(const QByteArray& socketPath, const QByteArray& datagram)
{
    if (!m_socket.isValid())
        m_socket.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (!m_socket.isValid() || socketPath.isEmpty()
        || socketPath.size() >= qsizetype(sizeof address.sun_path))
        return Delivery::NoService;
    std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
    if (::sendto(m_socket.get(), datagram.constData(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
            reinterpret_cast<const sockaddr*>(&address), sizeof address)
        >= 0)
        return Delivery::Sent;
    return errno == EAGAIN || errno == EWOULDBLOCK ? Delivery::Busy : Delivery::NoService;
}

QString SyslogSystemLog::destination() const
{
    const QString identifier = QString::fromUtf8(m_identifier);
    if (QFileInfo::exists(QFile::decodeName(m_journalSocket)))
        return QStringLiteral("the systemd journal (%1), read with journalctl SYSLOG_IDENTIFIER=%2")
            .arg(QFile::decodeName(m_journalSocket), identifier);
    return QStringLiteral("%1, read with journalctl -t %2")
        .arg(QFile::decodeName(m_syslogSocket), identifier);
}

void SyslogSystemLog::write(Priority priority, const QString& message, const SystemLogFields& fields)
{
    // A stuck log service loses the message rather than stall the survey; syslog would be
    // the same service on a machine with a journal.
    if (send(m_journalSocket, journalDatagram(priority, message, fields)) != Delivery::NoService)
        return;
    send(m_syslogSocket,
        syslogDatagram(priority, message, QCoreApplication::applicationPid(), QDateTime::currentDateTime()));
}

} // namespace Tollgate::Platform
