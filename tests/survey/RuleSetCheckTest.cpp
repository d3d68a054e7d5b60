#include "survey/RuleSetCheck.h"

#include "common/TestEnvironment.h"
#include "platform/ShellWords.h"
#include "store/RuleSet.h"

#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

QList<QStringList> rows(std::initializer_list<std::initializer_list<const char*>> table)
{
    QList<QStringList> out;
    for (const auto& row : table) {
        out.append(QStringList());
        for (const char* cell : row)
            out.last().append(str(cell));
    }
    return out;
}

// Window rows, process rows, how the one warning begins (empty for none) and what it says.
using Case = std::tuple<QList<QStringList>, QList<QStringList>, const char*, const char*>;

void expectWarnings(const Platform::ProgramConventions& conventions, const QList<Case>& cases)
{
    for (const auto& [windows, processes, start, part] : cases) {
        RuleSet rules;
        rules.windowRules().resetRows(windows);
        rules.processRules().resetRows(processes);
        rules.setPassword(str("pw"));
        const QStringList warnings = RuleSetCheck(conventions).warnings(rules);
        SCOPED_TRACE(warnings.join(u'\n').toStdString());
        ASSERT_EQ(warnings.size(), *start ? 1 : 0) << start << part;
        EXPECT_TRUE(!*start || (warnings[0].startsWith(str(start)) && warnings[0].contains(str(part))));
    }
}

} // namespace

TEST(RuleSetCheck, LinuxRuleSets)
{
    // Bare names, shell quoting.
    Platform::ProgramConventions shell;
    shell.programOf = [](const QString& line) -> std::optional<QString> {
        const auto words = Platform::ShellWords::split(line);
        return words ? std::optional<QString>(words->value(0)) : std::nullopt;
    };
    shell.programExists
        = [](const QString& program) { return program == str("xterm") || program == str("/usr/bin/xterm"); };
    const char* const always = "(2) Always Run";
    expectWarnings(shell,
        {
            {rows({{"*Solitaire*", "(1) Block"}, {"Exam [0-9]#", "(2) Bring To Front"},
                 {"[!a-z]x[*]", "(1) Block"}}),
                rows({{"steam", "(3) Block", ""}, {"xterm", always, "xterm -e 'top -d 1'"},
                    {"XTERM", always, "/usr/bin/xterm"}, {"app", "(3) Block", ""}}),
                "", ""},
            {rows({{"Game [abc", "(1) Block"}}), {}, "Windows row 1 (\"Game [abc\")", "unclosed"},
            {rows({{"ok", "(1) Block"}, {"[z-a]*", "(1) Block"}}), {}, "Windows row 2", "backward range"},
            {{}, rows({{"/usr/bin/steam", "(3) Block", ""}}), "Processes row 1", "folder"},
            {{}, rows({{"fire*", "(3) Block", ""}}), "Processes row 1", "wildcards"},
            {{}, rows({{"Steam.EXE", "(3) Block", ""}}), "Processes row 1", "write \"Steam\""},
            {{}, rows({{"  ", "(3) Block", ""}}), "Processes row 1", "no process name"},
            {{}, rows({{"app", always, ""}}), "Processes row 1 (\"app\")", "without a command"},
            {{}, rows({{"app", always, "xterm -e 'top"}}), "Processes row 1", "unclosed quote"},
            {{}, rows({{"app", always, "no-such-program --flag"}}), "Processes row 1",
                "\"no-such-program\" is not found on the search path"},
            {{}, rows({{"app", always, "/opt/gone/app"}}), "Processes row 1", "is not found at its path"},
            {{},
                rows({{"steam", "(3) Block", ""}, {"gimp", "(0) Ignore", ""},
                    {"Steam", "(1) Close Process when Computer is Idle", ""}}),
                "Processes row 3 (\"Steam\"): row 1", "another action"},
            {rows({{"*game*", "(1) Block"}, {"*Game*", "(2) Bring To Front"}, {"*game*", "(1) Block"}}), {},
                "Windows row 2 (\"*Game*\"): row 1", "another action"},
        });
    const QStringList open = RuleSetCheck(shell).warnings(RuleSet());
    EXPECT_TRUE(open.size() == 1 && open[0].startsWith(str("General: the password is empty")))
        << open[0].toStdString();
}

TEST(RuleSetCheck, WindowsNamesKeepTheirEndingAndCommandsTheirBackslashes)
{
    Platform::ProgramConventions windows;
    windows.namesEndInExe = true;
    windows.folderSeparator = u'\\';
    // A stand-in for the Windows reading: the first blank-separated or quoted token.
    windows.programOf = [](const QString& line) -> std::optional<QString> {
        if (!line.startsWith(u'"'))
            return line.section(u' ', 0, 0);
        const qsizetype close = line.indexOf(u'"', 1);
        return close < 0 ? std::nullopt : std::optional<QString>(line.mid(1, close - 1));
    };
    windows.programExists
        = [](const QString& program) { return program == str("C:\\Program Files\\Kiosk\\kiosk.exe"); };
    expectWarnings(windows,
        {
            {{},
                rows({{"steam.exe", "(3) Block", ""},
                    {"kiosk.exe", "(2) Always Run", "\"C:\\Program Files\\Kiosk\\kiosk.exe\" --full"}}),
                "", ""},
            {{}, rows({{"steam", "(3) Block", ""}}), "Processes row 1", "write \"steam.exe\""},
            {{}, rows({{"C:\\Games\\steam.exe", "(3) Block", ""}}), "Processes row 1",
                "after the last \"\\\""},
            {{}, rows({{"kiosk.exe", "(2) Always Run", "C:\\Kiosk\\gone.exe"}}), "Processes row 1",
                "is not found at its path"},
        });
}
