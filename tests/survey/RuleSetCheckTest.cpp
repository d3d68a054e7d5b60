#include "survey/RuleSetCheck.h"

#include "common/TestEnvironment.h"
#include "platform/ShellWords.h"
#include "store/RuleSet.h"

#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

class RuleSetCheckTest : public testing::Test
{
protected:
    RuleSetCheckTest() { rules.setPassword(str("pw")); }

    QStringList check() const { return RuleSetCheck(conventions).warnings(rules); }

    // Linux's: bare names, shell quoting.
    static Platform::ProgramConventions linuxConventions()
    {
        Platform::ProgramConventions shell;
        shell.programOf = [](const QString& line) -> std::optional<QString> {
            const auto words = Platform::ShellWords::split(line);
            return words ? std::optional<QString>(words->value(0)) : std::nullopt;
        };
        shell.programExists = [](const QString& program) {
            return program == str("xterm") || program == str("/usr/bin/xterm");
        };
        return shell;
    }

    // The one warning the rule set gives; fails when there is not exactly one.
    QString only() const
    {
        const QStringList found = check();
        EXPECT_EQ(found.size(), 1) << found.join(u'\n').toStdString();
        return found.value(0);
    }

    void windows(const QList<QStringList>& rows) { rules.windowRules().resetRows(rows); }
    void processes(const QList<QStringList>& rows) { rules.processRules().resetRows(rows); }

    RuleSet rules;
    Platform::ProgramConventions conventions = linuxConventions();
};

} // namespace

TEST_F(RuleSetCheckTest, SoundRuleSetHasNoWarnings)
{
    windows({{str("*Solitaire*"), str("(1) Block")}, {str("Exam [0-9]#"), str("(2) Bring To Front")}});
    processes({{str("steam"), str("(3) Block"), QString()},
        {str("xterm"), str("(2) Always Run"), str("xterm -e 'top -d 1'")},
        {str("XTERM"), str("(2) Always Run"), str("/usr/bin/xterm")}});
    EXPECT_TRUE(check().isEmpty()) << check().join(u'\n').toStdString();
}

TEST_F(RuleSetCheckTest, PatternsThatCanNeverMatch)
{
    windows({{str("Game [abc"), str("(1) Block")}});
    EXPECT_TRUE(only().startsWith(str("Windows row 1 (\"Game [abc\")"))) << only().toStdString();
    EXPECT_TRUE(only().contains(str("unclosed"))) << only().toStdString();
    windows({{str("ok"), str("(1) Block")}, {str("[z-a]*"), str("(1) Block")}});
    EXPECT_TRUE(only().contains(str("row 2"))) << only().toStdString();
    EXPECT_TRUE(only().contains(str("backward range"))) << only().toStdString();
    EXPECT_EQ(RuleSetCheck::patternFault(str("[!a-z]x[*]")), QString());
}

TEST_F(RuleSetCheckTest, ProcessNamesTheProcessTableNeverReports)
{
    const QList<std::pair<QString, QString>> cases {
        {str("/usr/bin/steam"), str("folder")},
        {str("fire*"), str("wildcards")},
        {str("Steam.EXE"), str("\"Steam\"")},
        {str("  "), str("no process name")},
    };
    for (const auto& [name, expected] : cases) {
        processes({{name, str("(3) Block"), QString()}});
        const QString warning = only();
        EXPECT_TRUE(warning.startsWith(str("Processes row 1"))) << warning.toStdString();
        EXPECT_TRUE(warning.contains(expected)) << warning.toStdString();
    }
}

TEST_F(RuleSetCheckTest, AlwaysRunThatCannotStartAnything)
{
    const QList<std::pair<QString, QString>> cases {
        {QString(), str("without a command")},
        {str("xterm -e 'top"), str("unclosed quote")},
        {str("no-such-program --flag"), str("\"no-such-program\" is not found on the search path")},
        {str("/opt/gone/app"), str("is not found at its path")},
    };
    for (const auto& [command, expected] : cases) {
        processes({{str("app"), str("(2) Always Run"), command}});
        EXPECT_TRUE(only().contains(expected)) << only().toStdString();
    }
    processes({{str("app"), str("(3) Block"), QString()}});
    EXPECT_TRUE(check().isEmpty()) << "only Always Run starts the command";
}

TEST_F(RuleSetCheckTest, RulesThatContradictEachOther)
{
    processes({{str("steam"), str("(3) Block"), QString()}, {str("gimp"), str("(0) Ignore"), QString()},
        {str("Steam"), str("(1) Close Process when Computer is Idle"), QString()}});
    EXPECT_TRUE(only().startsWith(str("Processes row 3 (\"Steam\"): row 1"))) << only().toStdString();

    processes({});
    windows({{str("*game*"), str("(1) Block")}, {str("*Game*"), str("(2) Bring To Front")},
        {str("*game*"), str("(1) Block")}});
    EXPECT_TRUE(only().startsWith(str("Windows row 2 (\"*Game*\"): row 1"))) << only().toStdString();
}

TEST_F(RuleSetCheckTest, EmptyPasswordIsNamed)
{
    rules.setPassword(QString());
    EXPECT_TRUE(only().startsWith(str("General: the password is empty"))) << only().toStdString();
}

TEST_F(RuleSetCheckTest, WindowsNamesKeepTheirEndingAndCommandsTheirBackslashes)
{
    conventions.namesEndInExe = true;
    conventions.folderSeparator = u'\\';
    // A stand-in for the Windows reading: the first blank-separated or quoted token.
    conventions.programOf = [](const QString& line) -> std::optional<QString> {
        if (!line.startsWith(u'"'))
            return line.section(u' ', 0, 0);
        const qsizetype close = line.indexOf(u'"', 1);
        return close < 0 ? std::nullopt : std::optional<QString>(line.mid(1, close - 1));
    };
    conventions.programExists
        = [](const QString& program) { return program == str("C:\\Program Files\\Kiosk\\kiosk.exe"); };
    processes({{str("steam.exe"), str("(3) Block"), QString()},
        {str("kiosk.exe"), str("(2) Always Run"), str("\"C:\\Program Files\\Kiosk\\kiosk.exe\" --full")}});
    EXPECT_TRUE(check().isEmpty()) << check().join(u'\n').toStdString();

    processes({{str("steam"), str("(3) Block"), QString()}});
    EXPECT_TRUE(only().contains(str("write \"steam.exe\""))) << only().toStdString();
    processes({{str("C:\\Games\\steam.exe"), str("(3) Block"), QString()}});
    EXPECT_TRUE(only().contains(str("after the last \"\\\""))) << only().toStdString();
    processes({{str("kiosk.exe"), str("(2) Always Run"), str("C:\\Kiosk\\gone.exe")}});
    EXPECT_TRUE(only().contains(str("is not found at its path"))) << only().toStdString();
}
