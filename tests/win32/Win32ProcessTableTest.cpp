// The Win32 process table and single-instance claim: the backend contract, and what only
// Windows has (command lines read as CreateProcess reads them, programs found without
// folder or extension).
#include "platform/win32/Win32ProcessTable.h"

#include "Win32NamedProgram.h"
#include "common/PlatformContracts.h"
#include "platform/PlatformFactory.h"
#include "platform/win32/Win32SingleInstance.h"

#include <QScopeGuard>

using namespace Tollgate::Platform;
using Split = Win32ProcessTable::ProgramSplit;

namespace {

struct Win32Backend
{
    using Table = Win32ProcessTable;
    using Instance = Win32SingleInstance;
    using Program = Tollgate::Test::Win32NamedProgram;
    static QStringList arguments() { return {str("sleep"), str("600")}; }
    static QString instanceName()
    {
        return QStringLiteral("Local\\Tollgate-test-%1").arg(QCoreApplication::applicationPid());
    }
};

QString client()
{
    return QDir::toNativeSeparators(Tollgate::Test::testClient());
}

} // namespace

namespace Tollgate::Test {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, BackendContract, testing::Types<Win32Backend>);
}

TEST(Win32ProcessTableSplit, ReadsTheProgramAsWindowsDoes)
{
    const QList<std::pair<const char*, QList<Split>>> cases {
        {R"(  "C:\Program Files\x.exe" -a "b c")", {{str(R"(C:\Program Files\x.exe)"), str(R"( -a "b c")")}}},
        {"notepad.exe  C:\\a.txt", {{str("notepad.exe"), str("  C:\\a.txt")}}},
        // Unquoted with a folder: the longest reading first.
        {R"(C:\Program Files\x.exe -a)",
            {{str(R"(C:\Program Files\x.exe -a)"), QString()}, {str(R"(C:\Program Files\x.exe)"), str(" -a")},
                {str(R"(C:\Program)"), str(R"( Files\x.exe -a)")}}},
        // Backslashes are folders, never escapes.
        {R"("C:\dir\\" x)", {{str(R"(C:\dir\\)"), str(" x")}}}, {"", {}}, {"   ", {}},
        {R"("C:\unclosed\x.exe -a)", {}}, {R"("" x)", {}}, {R"(a"b c)", {}}};
    for (const auto& [line, splits] : cases)
        EXPECT_EQ(Win32ProcessTable::programSplits(str(line)), splits) << line;
}

TEST(Win32ProcessTable, FindsProgramsWithoutFolderOrExtensionButNoFolderOrMissingOne)
{
    // The rule set check reads command lines as the table starts them.
    const ProgramConventions conventions = PlatformFactory::programConventions();
    EXPECT_TRUE(conventions.programExists(str("tollgate_test_client")));
    EXPECT_FALSE(conventions.programExists(str("tollgate-no-such-program-4711")));
    EXPECT_EQ(conventions.programOf(str(R"(C:\no such\x.exe -a)")), str(R"(C:\no)"));
    EXPECT_EQ(conventions.programOf(str(R"("C:\unclosed -a)")), std::nullopt);
    EXPECT_EQ(conventions.programOf(QString()), QString());
    // The search covers the folder of the running program, as Windows' own does.
    EXPECT_EQ(QDir::fromNativeSeparators(Win32ProcessTable::resolveProgram(str("tollgate_test_client")))
                  .compare(QDir::fromNativeSeparators(client()), Qt::CaseInsensitive),
        0);
    Win32ProcessTable table;
    const ProcessId pid = table.start(str("tollgate_test_client sleep 60"));
    ASSERT_NE(pid, 0u);
    const auto ended = qScopeGuard([&] { table.terminate(pid); });
    EXPECT_TRUE(table.snapshot().contains(ProcessEntry {pid, str("tollgate_test_client.exe")}));
    for (const QString& line :
        {str(R"(C:\no\such\folder\x.exe)"), QDir::toNativeSeparators(QCoreApplication::applicationDirPath())})
        EXPECT_EQ(table.start(line), 0u) << line.toStdString();
}

TEST(Win32ProcessTable, RunsThePathWithBlanksNotItsFirstWordAndPassesTheRestAsWritten)
{
    // A folder with a blank, and beside it a program named like the path's first word.
    const QString base = QDir::toNativeSeparators(Tollgate::Sandbox::folder());
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/with blank")));
    const QString inBlankFolder = base + QStringLiteral("\\with blank\\sleeper copy.exe");
    ASSERT_TRUE(QFile::copy(client(), inBlankFolder));
    ASSERT_TRUE(QFile::copy(client(), base + QStringLiteral("\\with.exe")));
    const QString seen = base + QStringLiteral("\\command line.txt");

    Win32ProcessTable table;
    for (const QString& commandLine : {inBlankFolder + QStringLiteral(" sleep 60 \"") + seen + u'"',
             u'"' + inBlankFolder + QStringLiteral("\" sleep 60 \"") + seen + u'"'}) {
        SCOPED_TRACE(commandLine.toStdString());
        QFile::remove(seen);
        const ProcessId pid = table.start(commandLine);
        ASSERT_NE(pid, 0u);
        const auto ended = qScopeGuard([&] { table.terminate(pid); });
        EXPECT_TRUE(table.snapshot().contains(ProcessEntry {pid, str("sleeper copy.exe")}));
        EXPECT_EQ(PlatformFactory::programConventions().programOf(commandLine), inBlankFolder);
        // It reads its own path quoted, and the rest as it was written.
        ASSERT_TRUE(Tollgate::Test::waitUntil([&] { return QFile(seen).size() > 0; }));
        const QByteArray bytes = Tollgate::Sandbox::readFile(seen);
        EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2),
            u'"' + inBlankFolder + QStringLiteral("\" sleep 60 \"") + seen + u'"');
    }
}
