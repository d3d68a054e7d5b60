#include "survey/ActivityLog.h"

#include "common/FakeClock.h"
#include "common/TestEnvironment.h"
#include "lang/ProgramPaths.h"
#include "platform/fake/FakeSystemLog.h"

#include <QDir>
#include <QFile>
#include <QOperatingSystemVersion>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace Tollgate;

TEST(ActivityLog, FirstLineThenOneLinePerEventInTheLocalesDateFormat)
{
    FakeClock clock;
    ActivityLog log(
        Sandbox::folder() + QStringLiteral("/logs/Tollgate.log"), clock, QLocale(QLocale::German));
    ASSERT_TRUE(log.WriteLog(QStringLiteral("cmd.exe"), QStringLiteral("(3) Block")));
    EXPECT_EQ(Sandbox::readFile(log.LogFilePath()),
        QByteArray("Date/Time;WindowTitle;Keyword\r\n"
                   "27.02.2004 15:01:23;cmd.exe;(3) Block\r\n"));
    clock.advance(1000);
    log.WriteLog(QStringLiteral("a;b\r\nc"), QStringLiteral("*"));
    EXPECT_TRUE(Sandbox::readFile(log.LogFilePath()).endsWith("27.02.2004 15:01:24;a;b  c;*\r\n"))
        << "semicolons stay, line breaks cannot start lines of their own";

    log.DeleteLog();
    EXPECT_FALSE(QFile::exists(log.LogFilePath()));
    log.DeleteLog();
    log.WriteLog(QStringLiteral("x"), QStringLiteral("y"));
    EXPECT_TRUE(Sandbox::readFile(log.LogFilePath()).startsWith("Date/Time;WindowTitle;Keyword\r\n"));

    // The date follows the locale, always with the whole year.
    const ActivityLog us(QString(), clock, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.eventLine(str("a"), str("b")), str("2/27/2004 3:01:24 PM;a;b"));
}

TEST(ActivityLog, LivesBesideAWritableProgramElseInTheUsersStateFolder)
{
    const QString build = Sandbox::folder() + QStringLiteral("/build");
    QDir().mkpath(build);
    EXPECT_EQ(ActivityLog::defaultPath(ProgramPaths(build, build)), build + QStringLiteral("/Tollgate.log"));
    // The XDG state home on Linux, %LOCALAPPDATA% on Windows.
    const QString expected = QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows
        ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/Tollgate/Tollgate.log")
        : qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/tollgate/Tollgate.log");
    EXPECT_EQ(
        ActivityLog::defaultPath(ProgramPaths(QStringLiteral("/nonexistent/bin"), QString())), expected);
}

TEST(ActivityLog, EveryLineAlsoGoesToTheSystemLog)
{
    using Priority = Platform::SystemLog::Priority;
    FakeClock clock;
    Platform::FakeSystemLog system;
    ActivityLog log(Sandbox::folder() + QStringLiteral("/system/Tollgate.log"), clock, system);
    log.WriteLog(QStringLiteral("Solitaire\nKlondike"), QStringLiteral("*solit*"));
    log.WriteLog(QStringLiteral("xterm"), QStringLiteral("(2) Always Run"), ActivityLog::Event::Started);
    log.WriteLog(QStringLiteral("kiosk"), QStringLiteral("x"), ActivityLog::Event::StartFailed);
    ASSERT_EQ(system.entries().size(), 3);
    EXPECT_EQ(system.entries()[0].priority, Priority::Notice);
    EXPECT_EQ(system.entries()[0].message, QStringLiteral("Solitaire Klondike;*solit*"));
    EXPECT_EQ(system.entries()[1].priority, Priority::Info);
    EXPECT_EQ(system.entries()[2].priority, Priority::Warning);

    // A log file that cannot be written is said in the system log; the line still goes there.
    QDir().mkpath(Sandbox::folder() + QStringLiteral("/blocked/Tollgate.log"));
    ActivityLog blocked(Sandbox::folder() + QStringLiteral("/blocked/Tollgate.log"), clock, system);
    EXPECT_FALSE(blocked.WriteLog(QStringLiteral("a"), QStringLiteral("b")));
    ASSERT_EQ(system.entries().size(), 5);
    EXPECT_EQ(system.entries()[3].message, QStringLiteral("a;b"));
    EXPECT_EQ(system.entries()[4].priority, Priority::Warning);
}
