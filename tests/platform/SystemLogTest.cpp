#include "common/TestEnvironment.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/SyslogSystemLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

using namespace Tollgate;
using namespace Tollgate::Platform;
using Priority = SystemLog::Priority;

namespace {

// A log service of our own: a datagram socket in the sandbox that the backend is pointed at.
class Receiver
{
public:
    explicit Receiver(const QString& path)
        : m_path(path.toLocal8Bit())
    {
        QFile::remove(path);
        m_socket.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, m_path.constData(),
            std::min<size_t>(m_path.size(), sizeof address.sun_path - 1));
        m_bound = ::bind(m_socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }

    bool bound() const { return m_bound; }

    // The next datagram, or nothing when none comes within the wait.
    QByteArray next()
    {
        pollfd wait {m_socket.get(), POLLIN, 0};
        if (::poll(&wait, 1, 10000) != 1)
            return {};
        char buffer[8192];
        const ssize_t size = ::recv(m_socket.get(), buffer, sizeof buffer, 0);
        return size > 0 ? QByteArray(buffer, size) : QByteArray();
    }

private:
    QByteArray m_path;
    FileDescriptor m_socket;
    bool m_bound = false;
};

} // namespace

TEST(SyslogSystemLog, DatagramCarriesPriorityIdentifierAndOneLine)
{
    const QDateTime at(QDate(2026, 2, 7), QTime(5, 1, 2));
    EXPECT_EQ(SyslogSystemLog::datagram(Priority::Notice, str("Solitaire;*solit*"), 42, at),
        QByteArray("<13>Feb  7 05:01:02 tollgate[42]: Solitaire;*solit*"));
    EXPECT_TRUE(SyslogSystemLog::datagram(Priority::Info, str("x"), 1, at).startsWith("<14>"));
    EXPECT_TRUE(SyslogSystemLog::datagram(Priority::Warning, str("x"), 1, at).startsWith("<12>"));
    EXPECT_TRUE(SyslogSystemLog::datagram(Priority::Info, str("a\r\nb"), 1, at).endsWith(": a  b"));

    // A long message is cut, never inside a character.
    const QByteArray cut = SyslogSystemLog::datagram(Priority::Info, QString(3000, QChar(0x00e4)), 1, at);
    const QByteArray body = cut.mid(cut.indexOf(": ") + 2);
    EXPECT_LE(body.size(), SyslogSystemLog::MaxMessageBytes);
    EXPECT_EQ(QString::fromUtf8(body).toUtf8(), body);
}

TEST(SyslogSystemLog, ReachesTheLogServiceAndFindsItAgainAfterARestart)
{
    const QString path = Sandbox::folder() + str("/log.sock");
    SyslogSystemLog log(path.toLocal8Bit());
    log.write(Priority::Notice, str("before any service")); // dropped, quietly

    auto receiver = std::make_unique<Receiver>(path);
    ASSERT_TRUE(receiver->bound());
    log.write(Priority::Notice, str("Solitaire;*solit*"));
    const QByteArray first = receiver->next();
    EXPECT_TRUE(first.startsWith("<13>")) << first.toStdString();
    EXPECT_TRUE(first.endsWith(
        " tollgate[" + QByteArray::number(QCoreApplication::applicationPid()) + "]: Solitaire;*solit*"))
        << first.toStdString();

    receiver = std::make_unique<Receiver>(path);
    ASSERT_TRUE(receiver->bound());
    log.write(Priority::Info, str("xterm;(2) Always Run"));
    EXPECT_TRUE(receiver->next().endsWith("]: xterm;(2) Always Run"));
}

TEST(SyslogSystemLog, LineReachesTheRunningSystemLog)
{
    if (!QFile::exists(str(SyslogSystemLog::DefaultSocket)))
        GTEST_SKIP() << "no system log service runs here (/dev/log is missing)";
    const QString journalctl = QStandardPaths::findExecutable(str("journalctl"));
    if (journalctl.isEmpty())
        GTEST_SKIP() << "journalctl is not installed, so the message cannot be read back";
    const QString marker = QUuid::createUuid().toString(QUuid::WithoutBraces);
    SyslogSystemLog().write(Priority::Notice, str("test line ") + marker);
    bool found = false;
    for (int attempt = 0; attempt < 50 && !found; ++attempt) {
        QProcess query;
        query.start(journalctl, {str("--identifier=tollgate"), str("--output=cat"), str("--lines=50")});
        query.waitForFinished(10000);
        found = query.readAllStandardOutput().contains(marker.toUtf8());
        if (!found)
            QThread::msleep(100);
    }
    if (!found)
        GTEST_SKIP() << "the journal is not readable here, or collects no syslog messages";
}
