#include "platform/win32/Win32ProcessTable.h"

#include "Win32TestSupport.h"
#include "common/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace Tollgate::Platform;
using Tollgate::Test::pumpUntil;
using Split = Win32ProcessTable::ProgramSplit;

namespace {

QString helperProgram()
{
    return QDir::toNativeSeparators(
        QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_win32_sleeper.exe"));
}

bool runs(Win32ProcessTable& table, ProcessId pid, const QString& name)
{
    return table.snapshot().contains(ProcessEntry {pid, name});
}

// Ends what a test started, also when it fails half-way.
class ProcessTableTest : public testing::Test
{
protected:
    void TearDown() override
    {
        for (const ProcessId pid : m_started)
            m_table.terminate(pid);
    }
    ProcessId start(const QString& commandLine)
    {
        const ProcessId pid = m_table.start(commandLine);
        if (pid != 0)
            m_started.append(pid);
        return pid;
    }

    Win32ProcessTable m_table;
    QList<ProcessId> m_started;
};

} // namespace

TEST(Win32ProcessTableSplit, ReadsTheProgramAsWindowsDoes)
{
    EXPECT_EQ(Win32ProcessTable::programSplits(str(R"(  "C:\Program Files\x.exe" -a "b c")")),
        QList<Split>({{str(R"(C:\Program Files\x.exe)"), str(R"( -a "b c")")}}));
    EXPECT_EQ(Win32ProcessTable::programSplits(str("notepad.exe  C:\\a.txt")),
        QList<Split>({{str("notepad.exe"), str("  C:\\a.txt")}}));
    // Unquoted with a folder: the longest reading first.
    EXPECT_EQ(Win32ProcessTable::programSplits(str(R"(C:\Program Files\x.exe -a)")),
        QList<Split>(
            {{str(R"(C:\Program Files\x.exe -a)"), QString()}, {str(R"(C:\Program Files\x.exe)"), str(" -a")},
                {str(R"(C:\Program)"), str(R"( Files\x.exe -a)")}}));
    // Backslashes are folders, never escapes.
    EXPECT_EQ(Win32ProcessTable::programSplits(str(R"("C:\dir\\" x)")),
        QList<Split>({{str(R"(C:\dir\\)"), str(" x")}}));
    for (const char* nothing : {"", "   ", R"("C:\unclosed\x.exe -a)", R"("" x)", R"(a"b c)"})
        EXPECT_TRUE(Win32ProcessTable::programSplits(str(nothing)).isEmpty()) << nothing;
}

TEST_F(ProcessTableTest, StartsListsAndEndsAProcess)
{
    const QString program = helperProgram();
    ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
    const ProcessId pid = start(u'"' + program + QStringLiteral("\" 60"));
    ASSERT_NE(pid, 0u);
    const QList<ProcessEntry> all = m_table.snapshot();
    EXPECT_TRUE(all.contains(ProcessEntry {pid, str("tollgate_win32_sleeper.exe")}));
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), [](auto& a, auto& b) { return a.pid < b.pid; }));

    EXPECT_EQ(m_table.terminate(pid), TerminateResult::Terminated);
    EXPECT_TRUE(pumpUntil([&] { return !runs(m_table, pid, str("tollgate_win32_sleeper.exe")); }));
    EXPECT_EQ(m_table.terminate(pid), TerminateResult::NoSuchProcess);
    EXPECT_EQ(m_table.terminate(0), TerminateResult::NoSuchProcess);
}

TEST_F(ProcessTableTest, FindsProgramsWithoutFolderOrExtension)
{
    // The search covers the folder of the running program, as Windows' own does.
    EXPECT_EQ(QDir::fromNativeSeparators(Win32ProcessTable::resolveProgram(str("tollgate_win32_sleeper")))
                  .compare(QDir::fromNativeSeparators(helperProgram()), Qt::CaseInsensitive),
        0);
    const ProcessId pid = start(str("tollgate_win32_sleeper 60"));
    ASSERT_NE(pid, 0u);
    EXPECT_TRUE(runs(m_table, pid, str("tollgate_win32_sleeper.exe")));
}

TEST_F(ProcessTableTest, RunsThePathWithBlanksNotItsFirstWord)
{
    // A folder with a blank, and beside it a program named like the path's first word.
    const QString base = QDir::toNativeSeparators(Tollgate::Sandbox::folder());
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/with blank")));
    const QString inBlankFolder = base + QStringLiteral("\\with blank\\sleeper copy.exe");
    ASSERT_TRUE(QFile::copy(helperProgram(), inBlankFolder));
    ASSERT_TRUE(QFile::copy(helperProgram(), base + QStringLiteral("\\with.exe")));
    const QString seen = base + QStringLiteral("\\command line.txt");

    for (const QString& commandLine : {inBlankFolder + QStringLiteral(" 60 ") + u'"' + seen + u'"',
             u'"' + inBlankFolder + QStringLiteral("\" 60 \"") + seen + u'"'}) {
        QFile::remove(seen);
        const ProcessId pid = start(commandLine);
        ASSERT_NE(pid, 0u) << commandLine.toStdString();
        EXPECT_TRUE(runs(m_table, pid, str("sleeper copy.exe")));
        // It reads its own path quoted, and the rest as it was written.
        ASSERT_TRUE(pumpUntil([&] { return QFile(seen).size() > 0; }));
        const QByteArray bytes = Tollgate::Sandbox::readFile(seen);
        EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2),
            u'"' + inBlankFolder + QStringLiteral("\" 60 \"") + seen + u'"');
        EXPECT_EQ(m_table.terminate(pid), TerminateResult::Terminated);
    }
}

TEST_F(ProcessTableTest, StartsNothingForMissingProgramsOrBrokenQuotes)
{
    EXPECT_EQ(start(str("tollgate-no-such-program-4711 -x")), 0u);
    EXPECT_EQ(start(str(R"(C:\no\such\folder\x.exe)")), 0u);
    EXPECT_EQ(start(u'"' + helperProgram() + QStringLiteral(" 60")), 0u);
    EXPECT_EQ(start(QString()), 0u);
    // A folder is no program.
    EXPECT_EQ(start(QDir::toNativeSeparators(QCoreApplication::applicationDirPath())), 0u);
}

TEST(Win32ProcessTable, SaysWhatItCanDo)
{
    Win32ProcessTable table;
    QList<Capability> listed;
    for (const CapabilityStatus& status : table.capabilities()) {
        listed.append(status.capability);
        if (status.capability == Capability::ProcessEvents)
            EXPECT_FALSE(status.works);
        else
            EXPECT_TRUE(status.works) << status.detail.toStdString();
    }
    EXPECT_EQ(listed,
        QList<Capability>(
            {Capability::ProcessNames, Capability::TerminationRights, Capability::ProcessEvents}));
}
