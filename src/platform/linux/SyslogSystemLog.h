#pragma once

#include "FileDescriptor.h"
#include "platform/SystemLog.h"

#include <QByteArray>

class QDateTime;

namespace Tollgate::Platform {

// Sends each message as one datagram to the systemd journal's native socket, with the
// fields as journal fields, or where there is no journal, to the local syslog socket the
// way syslog(3) does (the text only). Both are asked afresh for every message, so a
// restarted log service is found again.
class SyslogSystemLog : public SystemLog
{
public:
    static constexpr const char* DefaultIdentifier = "tollgate";
    static constexpr const char* DefaultJournalSocket = "/run/systemd/journal/socket";
    static constexpr const char* DefaultSyslogSocket = "/dev/log";

    explicit SyslogSystemLog(QByteArray identifier = DefaultIdentifier,
        QByteArray journalSocket = DefaultJournalSocket, QByteArray syslogSocket = DefaultSyslogSocket);

    void write(Priority priority, const QString& message, const SystemLogFields& fields = {}) override;
    QString destination() const override;

    // "KEY=value\n" lines: MESSAGE, PRIORITY, SYSLOG_IDENTIFIER, SYSLOG_FACILITY, then the
    // fields that are set as MESSAGE_ID and TOLLGATE_*. A value with a line break is sent
    // as "KEY\n", its size as 64-bit little-endian and the bytes, then "\n".
    QByteArray journalDatagram(
        Priority priority, const QString& message, const SystemLogFields& fields) const;
    // "<PRI>Mmm dd hh:mm:ss identifier[pid]: message", facility user, with line breaks
    // made blanks.
    QByteArray syslogDatagram(
        Priority priority, const QString& message, qint64 pid, const QDateTime& now) const;
    // Of every value, at most this many bytes are sent.
    static constexpr int MaxMessageBytes = 2048;

private:
    enum class Delivery { Sent, Busy, NoService };
    Delivery send(const QByteArray& socketPath, const QByteArray& datagram);

    QByteArray m_identifier;
    QByteArray m_journalSocket;
    QByteArray m_syslogSocket;
    // Unconnected: each datagram names its socket.
    FileDescriptor m_socket;
};

} // namespace Tollgate::Platform
