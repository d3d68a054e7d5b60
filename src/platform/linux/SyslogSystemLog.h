#pragma once

#include "FileDescriptor.h"
#include "platform/SystemLog.h"

#include <QByteArray>

class QDateTime;

namespace Tollgate::Platform {

// Sends each message as one datagram to the local log socket, the way syslog(3) does, so
// that journald or a syslog daemon files it under the identifier. The socket is opened on
// first use and again after the log service restarted.
class SyslogSystemLog : public SystemLog
{
public:
    static constexpr const char* DefaultSocket = "/dev/log";
    static constexpr const char* Identifier = "tollgate";

    explicit SyslogSystemLog(QByteArray socketPath = DefaultSocket);

    void write(Priority priority, const QString& message) override;
    QString destination() const override;

    // "<PRI>Mmm dd hh:mm:ss tollgate[pid]: message", facility user, with line breaks made
    // blanks and at most MaxMessageBytes of the message.
    static QByteArray datagram(Priority priority, const QString& message, qint64 pid, const QDateTime& now);
    static constexpr int MaxMessageBytes = 2048;

private:
    bool connectSocket();

    QByteArray m_socketPath;
    FileDescriptor m_socket;
};

} // namespace Tollgate::Platform
