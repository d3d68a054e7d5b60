#include "survey/ActivityLog.h"

#include "SurveyFixture.h"
#include "lang/ProgramPaths.h"
#include "platform/fake/FakeSystemLog.h"

#include <QDir>
#include <QOperatingSystemVersion>
#include <QStandardPaths>

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
    log.WriteLog(QStringLiteral("kiosk"), QStringLiteral("x"), ActivityLog::Event::StartFailed,
        {.action = str("(2) Always Run")});

    // A log file that cannot be written is said in the system log; the line still goes there.
    const QString unwritable = Sandbox::folder() + QStringLiteral("/blocked/Tollgate.log");
    QDir().mkpath(unwritable);
    ActivityLog blocked(unwritable, clock, system);
    EXPECT_FALSE(blocked.WriteLog(QStringLiteral("a"), QStringLiteral("b")));

    // The event gives the priority and the message id; without a rule and an action the
    // texts are them. Entries are compared as "priority|id|message|rule|action|program".
    QStringList entries;
    for (const Platform::FakeSystemLog::Entry& entry : system.entries())
        entries.append(
            QStringList({QString::number(int(entry.priority)), QString::fromLatin1(entry.fields.messageId),
                            entry.message, entry.fields.rule, entry.fields.action, entry.fields.program})
                .join(u'|'));
    const auto line = [](Priority priority, const QByteArray& id, const QString& rest) {
        return QString::number(int(priority)) + u'|' + QString::fromLatin1(id) + u'|' + rest;
    };
    namespace Id = Platform::SystemLogMessageId;
    EXPECT_EQ(entries,
        QStringList({line(Priority::Notice, Id::Blocked,
                         str("Solitaire Klondike;*solit*|Solitaire\nKlondike|*solit*|")),
            line(Priority::Info, Id::Started, str("xterm;(2) Always Run|xterm|(2) Always Run|")),
            line(Priority::Warning, Id::StartFailed, str("kiosk;x||(2) Always Run|")),
            line(Priority::Notice, Id::Blocked, str("a;b|a|b|")),
            line(Priority::Warning, {}, str("cannot write the activity log ") + unwritable + str("|||"))}));
}

// A window rule is its pattern; the program is the one ended or started.
TEST_F(SurveyTest, SurveysNameTheRuleItsActionAndTheProgramInTheSystemLog)
{
    rules.windowRules().resetRows(rows({"*solit*|(1) Block"}));
    rules.processRules().resetRows(
        rows({"miner|(3) Block", "kiosk|(2) Always Run|/opt/kiosk -f", "empty|(2) Always Run|"}));
    show("Solitaire");
    add("miner");
    cycle.run();
    cycle.tick();
    QStringList fields;
    for (const Platform::FakeSystemLog::Entry& entry : fake.systemLog().entries())
        fields.append(QStringList({entry.fields.rule, entry.fields.action, entry.fields.program}).join(u'|'));
    EXPECT_EQ(fields,
        QStringList({str("*solit*|(1) Block|"), str("miner|(3) Block|miner"),
            str("kiosk|(2) Always Run|/opt/kiosk -f"), str("empty|(2) Always Run|")}));
}
