#include "SyslogSystemLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace Tollgate::Platform {

namespace {

    // Facility "user" (1), shifted as the protocol wants, plus the severity.
    int priorityValue(SystemLog::Priority priority)
    {
        constexpr int userFacility = 1 << 3;
        switch (priority) {
        case SystemLog::Priority::Warning:
            return userFacility | 4;
        case SystemLog::Priority::Notice:
            return userFacility | 5;
        case SystemLog::Priority::Info:
            break;
        }
        return userFacility | 6;
    }

} // namespace

SyslogSystemLog::SyslogSystemLog(QByteArray socketPath)
    : m_socketPath(std::move(socketPath))
{ }

QByteArray SyslogSystemLog::datagram(
    Priority priority, const QString& message, qint64 pid, const QDateTime& now)
{
    QString text = message;
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    QByteArray body = text.toUtf8();
    if (body.size() > MaxMessageBytes) {
        body.truncate(MaxMessageBytes);
        // Never end inside a UTF-8 sequence.
        while (!body.isEmpty() && (static_cast<unsigned char>(body.back()) & 0xC0) == 0x80)
            body.chop(1);
        if (!body.isEmpty() && (static_cast<unsigned char>(body.back()) & 0x80))
            body.chop(1);
    }
    // The timestamp as the protocol spells it, in English whatever the user's language.
    const QString stamp = QLocale::c().toString(now, QStringLiteral("MMM d hh:mm:ss"));
    const QString day = stamp.section(u' ', 1, 1);
    const QString padded
        = stamp.section(u' ', 0, 0) + u' ' + day.rightJustified(2, u' ') + u' ' + stamp.section(u' ', 2);
    return '<' + QByteArray::number(priorityValue(priority)) + '>' + padded.toLatin1() + ' ' + Identifier
        + '[' + QByteArray::number(pid) + "]: " + body;
}

bool SyslogSystemLog::connectSocket()
{
    m_socket.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!m_socket.isValid())
        return false;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (m_socketPath.isEmpty() || m_socketPath.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, m_socketPath.constData(), m_socketPath.size());
    if (::connect(m_socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        m_socket.reset();
        return false;
    }
    return true;
}

QString SyslogSystemLog::destination() const
{
    return QStringLiteral("%1, read with journalctl -t %2")
        .arg(QString::fromLocal8Bit(m_socketPath), QString::fromLatin1(Identifier));
}

void SyslogSystemLog::write(Priority priority, const QString& message)
{
    const QByteArray bytes
        = datagram(priority, message, QCoreApplication::applicationPid(), QDateTime::currentDateTime());
    // Once more after a failure: the log service may have restarted since the last message.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_socket.isValid() && !connectSocket())
            return;
        if (::send(m_socket.get(), bytes.constData(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0)
            return;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return; // a stuck log service loses the message rather than stall the survey
        m_socket.reset();
    }
}

} // namespace Tollgate::Platform
