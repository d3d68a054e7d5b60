#include "survey/RuleSetCheck.h"

#include "common/TestEnvironment.h"
#include "platform/ShellWords.h"
#include "store/RuleSet.h"

#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

// Rows written "pattern|action" are window rules, "name|action|command" process rules; then
// how the one warning begins (empty for none) and what it says.
using Case = std::tuple<std::vector<const char*>, const char*, const char*>;

void expectWarnings(const Platform::ProgramConventions& conventions, const QList<Case>& cases)
{
    for (const auto& [rows, start, part] : cases) {
        RuleSet rules;
        for (const char* row : rows) {
            const QStringList cells = str(row).split(u'|');
            (cells.size() == 2 ? rules.windowRules() : rules.processRules()).appendRow(cells);
        }
        rules.setPassword(str("pw"));
        const QStringList warnings = RuleSetCheck(conventions).warnings(rules);
        SCOPED_TRACE(warnings.join(u'\n').toStdString());
        ASSERT_EQ(warnings.size(), *start ? 1 : 0) << start << part;
        EXPECT_TRUE(!*start || (warnings[0].startsWith(str(start)) && warnings[0].contains(str(part))));
    }
}

} // namespace

TEST(RuleSetCheck, LinuxAndWindowsRuleSets)
{
    // Bare names, shell quoting.
    Platform::ProgramConventions shell;
    shell.programOf = [](const QString& line) -> std::optional<QString> {
        const auto words = Platform::ShellWords::split(line);
        return words ? std::optional<QString>(words->value(0)) : std::nullopt;
    };
    shell.programExists
        = [](const QString& program) { return program == str("xterm") || program == str("/usr/bin/xterm"); };
    expectWarnings(shell,
        {
            {{"*Solitaire*|(1) Block", "Exam [0-9]#|(2) Bring To Front", "[!a-z]x[*]|(1) Block",
                 "steam|(3) Block|", "xterm|(2) Always Run|xterm -e 'top -d 1'",
                 "XTERM|(2) Always Run|/usr/bin/xterm", "app|(3) Block|"},
                "", ""},
            {{"Game [abc|(1) Block"}, "Windows row 1 (\"Game [abc\")", "unclosed"},
            {{"ok|(1) Block", "[z-a]*|(1) Block"}, "Windows row 2", "backward range"},
            {{"/usr/bin/steam|(3) Block|"}, "Processes row 1", "folder"},
            {{"fire*|(3) Block|"}, "Processes row 1", "wildcards"},
            {{"Steam.EXE|(3) Block|"}, "Processes row 1", "write \"Steam\""},
            {{"  |(3) Block|"}, "Processes row 1", "no process name"},
            {{"app|(2) Always Run|"}, "Processes row 1 (\"app\")", "without a command"},
            {{"app|(2) Always Run|xterm -e 'top"}, "Processes row 1", "unclosed quote"},
            {{"app|(2) Always Run|no-such-program --flag"}, "Processes row 1",
                "\"no-such-program\" is not found on the search path"},
            {{"app|(2) Always Run|/opt/gone/app"}, "Processes row 1", "is not found at its path"},
            {{"steam|(3) Block|", "gimp|(0) Ignore|", "Steam|(1) Close Process when Computer is Idle|"},
                "Processes row 3 (\"Steam\"): row 1", "another action"},
            {{"*game*|(1) Block", "*Game*|(2) Bring To Front", "*game*|(1) Block"},
                "Windows row 2 (\"*Game*\"): row 1", "another action"},
        });
    const QStringList open = RuleSetCheck(shell).warnings(RuleSet());
    EXPECT_TRUE(open.size() == 1 && open[0].startsWith(str("General: the password is empty")))
        << open[0].toStdString();

    // Windows names keep their ending, and commands their backslashes.
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
            {{"steam.exe|(3) Block|",
                 "kiosk.exe|(2) Always Run|\"C:\\Program Files\\Kiosk\\kiosk.exe\" --full"},
                "", ""},
            {{"steam|(3) Block|"}, "Processes row 1", "write \"steam.exe\""},
            {{"C:\\Games\\steam.exe|(3) Block|"}, "Processes row 1", "after the last \"\\\""},
            {{"kiosk.exe|(2) Always Run|C:\\Kiosk\\gone.exe"}, "Processes row 1", "is not found at its path"},
        });
}
