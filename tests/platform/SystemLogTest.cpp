#include "common/FakeClock.h"
#include "common/TestEnvironment.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/SyslogSystemLog.h"
#include "survey/ActivityLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using namespace Tollgate;
using namespace Tollgate::Platform;
using Priority = SystemLog::Priority;

namespace {

// A log service of our own: a datagram socket bound at the path; next() is the next
// datagram, or nothing when none comes within the wait.
struct Receiver
{
    explicit Receiver(const QByteArray& path)
    {
        QFile::remove(QFile::decodeName(path));
        sockaddr_un address {AF_UNIX, {}};
        std::memcpy(
            address.sun_path, path.constData(), std::min<size_t>(path.size(), sizeof address.sun_path - 1));
        bound = ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    QByteArray next()
    {
        pollfd wait {socket.get(), POLLIN, 0};
        char buffer[8192];
        const ssize_t size
            = ::poll(&wait, 1, 10000) == 1 ? ::recv(socket.get(), buffer, sizeof buffer, 0) : 0;
        return size > 0 ? QByteArray(buffer, size) : QByteArray();
    }

    FileDescriptor socket {::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    bool bound = false;
};

} // namespace

// The syslog line: priority, time, identifier and one line. The journal's native form:
// "KEY=value" lines, and a value with a line break as the key, its size in 64-bit
// little-endian and the bytes, so a program name cannot forge fields.
TEST(SyslogSystemLog, DatagramsCarryPriorityIdentifierAndOneLineOrTheFieldsThatAreSet)
{
    const QDateTime at(QDate(2026, 2, 7), QTime(5, 1, 2));
    const SyslogSystemLog syslog;
    EXPECT_EQ(syslog.syslogDatagram(Priority::Notice, str("Solitaire;*solit*"), 42, at),
        QByteArray("<13>Feb  7 05:01:02 tollgate[42]: Solitaire;*solit*"));
    EXPECT_TRUE(syslog.syslogDatagram(Priority::Warning, str("x"), 1, at).startsWith("<12>"));
    EXPECT_TRUE(syslog.syslogDatagram(Priority::Info, str("a\r\nb"), 1, at).endsWith(": a  b"));

    using namespace Qt::StringLiterals;
    const QByteArray common = "PRIORITY=5\nSYSLOG_IDENTIFIER=tollgate-guard\nSYSLOG_FACILITY=1\n";
    const struct
    {
        QString message;
        SystemLogFields fields;
        QByteArray expected;
    } cases[] = {
        {str("Solitaire;*solit*"), {}, "MESSAGE=Solitaire;*solit*\n" + common},
        {str("x"),
            {SystemLogMessageId::Denied, str("*solit*"), str("Block"), str("pupil"), str("/usr/bin/sol")},
            "MESSAGE=x\n" + common + "MESSAGE_ID=3b95aa379b8d80f2720d188ba160aedd\nTOLLGATE_RULE=*solit*\n"
                + "TOLLGATE_ACTION=Block\nTOLLGATE_ACCOUNT=pupil\nTOLLGATE_PROGRAM=/usr/bin/sol\n"},
        {str("a\nb"), {.action = str("Block"), .program = str("sol\nPRIORITY=0")},
            "MESSAGE\n\x03\0\0\0\0\0\0\0a\nb\n"_ba + common + "TOLLGATE_ACTION=Block\n"
                + "TOLLGATE_PROGRAM\n\x0e\0\0\0\0\0\0\0sol\nPRIORITY=0\n"_ba},
    };
    const SyslogSystemLog journal("tollgate-guard");
    for (const auto& [message, fields, expected] : cases)
        EXPECT_EQ(journal.journalDatagram(Priority::Notice, message, fields), expected);
    // Every value is cut on its own, before the character it would split; the syslog line too.
    const QString longText = u'x' + QString(3000, QChar(0x00e4));
    const QByteArray cut = longText.left(SyslogSystemLog::MaxMessageBytes / 2).toUtf8();
    EXPECT_EQ(journal.journalDatagram(Priority::Notice, longText, {.rule = longText}),
        "MESSAGE=" + cut + '\n' + common + "TOLLGATE_RULE=" + cut + '\n');
    EXPECT_TRUE(journal.syslogDatagram(Priority::Info, longText, 1, {}).endsWith("]: " + cut));
}

// A journal of our own: the line reaches its native socket whole, with its fields.
TEST(SyslogSystemLog, ActivityLogLinesReachTheJournalSocketWithTheirFields)
{
    const QByteArray socketPath = QFile::encodeName(Sandbox::folder()) + "/journal.socket";
    Receiver journal(socketPath);
    ASSERT_TRUE(journal.bound) << std::strerror(errno);
    SyslogSystemLog systemLog(SyslogSystemLog::DefaultIdentifier, socketPath, "/nonexistent/log");
    EXPECT_TRUE(systemLog.destination().startsWith(str("the systemd journal")))
        << systemLog.destination().toStdString();
    EXPECT_TRUE(SyslogSystemLog("x", "/nonexistent/journal").destination().startsWith(str("/dev/log")));
    FakeClock clock;
    ActivityLog log(Sandbox::folder() + str("/Tollgate.log"), clock, systemLog);
    log.WriteLog(str("kiosk"), str("cannot start"), ActivityLog::Event::StartFailed,
        {.rule = str("kiosk"), .action = str("(2) Always Run"), .program = str("/opt/kiosk")});
    EXPECT_EQ(journal.next(),
        "MESSAGE=kiosk;cannot start\nPRIORITY=4\nSYSLOG_IDENTIFIER=tollgate\nSYSLOG_FACILITY=1\nMESSAGE_ID="
            + QByteArray(SystemLogMessageId::StartFailed)
            + "\nTOLLGATE_RULE=kiosk\nTOLLGATE_ACTION=(2) Always Run\nTOLLGATE_PROGRAM=/opt/kiosk\n");
}

// The activity log with the system log a run without a display gets, on a /dev/log of the
// test's own: a private mount namespace on a thread of its own, so the test process's
// other threads keep the real /dev. The service comes late and restarts in between.
TEST(SyslogSystemLog, ActivityLogLinesReachDevLogWithTheirPrioritiesAlsoAfterARestart)
{
    const std::tuple<QString, QString, ActivityLog::Event, QByteArray> lines[]
        = {{str("Solitaire"), str("*solit*"), ActivityLog::Event::Blocked, "<13>"},
            {str("xterm"), str("(2) Always Run"), ActivityLog::Event::Started, "<14>"}};
    QList<QByteArray> received;
    int error = 0;
    std::thread([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tollgate-dev", "/dev", "tmpfs", 0, "size=64k") != 0) {
            error = errno;
            return;
        }
        FakeClock clock;
        // Without a journal, the lines go to the syslog socket.
        SyslogSystemLog systemLog(SyslogSystemLog::DefaultIdentifier, "/dev/no-journal");
        systemLog.write(Priority::Notice, str("before any service")); // dropped, quietly
        ActivityLog log(Sandbox::folder() + str("/Tollgate.log"), clock, systemLog);
        for (const auto& [program, rule, event, priority] : lines) {
            Receiver receiver(SyslogSystemLog::DefaultSyslogSocket);
            if (!receiver.bound) {
                error = errno;
                return;
            }
            log.WriteLog(program, rule, event);
            received.append(receiver.next());
        }
    }).join();
    if (error == EPERM && ::geteuid() != 0)
        GTEST_SKIP() << "a private mount namespace needs root (CAP_SYS_ADMIN)";
    ASSERT_EQ(error, 0) << std::strerror(error);
    ASSERT_EQ(received.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const auto& [program, rule, event, priority] = lines[i];
        EXPECT_TRUE(received[i].startsWith(priority)
            && received[i].endsWith(" tollgate[" + QByteArray::number(QCoreApplication::applicationPid())
                + "]: " + (program + u';' + rule).toUtf8()))
            << received[i].toStdString();
    }
}
