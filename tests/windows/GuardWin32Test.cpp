// TollgateGuard.exe under Wine, in the foreground with a configuration key of the test's
// own: Tollgate.exe kept running, and blocked programs of managed accounts ended, copies
// under other names included; an account it does not manage left alone.
#include "common/DocumentBuilder.h"
#include "common/WaitUntil.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32ProgramFiles.h"
#include "platform/win32/Win32Registry.h"
#include "win32/Win32NamedProgram.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <aclapi.h>
#include <gtest/gtest.h>

using namespace Tollgate;
using Platform::Registry;
using Test::Win32NamedProgram;

namespace {

class GuardWin32Test : public testing::Test
{
protected:
    void SetUp() override
    {
        // Tollgate.exe with what it needs, so that its log is the test's own.
        const QDir built(QCoreApplication::applicationDirPath());
        static const QRegularExpression belongs(
            QStringLiteral("^(Tollgate\\.exe|[^/]*\\.dll|platforms/qwindows.*)$"));
        for (QDirIterator files(built.path(), QDir::Files, QDirIterator::Subdirectories); files.hasNext();) {
            const QString relative = built.relativeFilePath(files.next());
            if (belongs.match(relative).hasMatch()) {
                ASSERT_TRUE(QDir().mkpath(QFileInfo(m_folder + relative).path()));
                ASSERT_TRUE(QFile::copy(built.filePath(relative), m_folder + relative));
            }
        }
        ASSERT_TRUE(m_blocked.ready() && m_copy.ready() && m_renamed.ready());
        // The renamed copy's version resource names a program of the test's own.
        QFile renamed(m_renamed.path());
        ASSERT_TRUE(renamed.open(QIODevice::ReadWrite));
        QByteArray bytes = renamed.readAll();
        const QByteArray placeholder = utf16(QStringLiteral("tgoriginal-00000000"));
        ASSERT_TRUE(bytes.contains(placeholder));
        m_original = QStringLiteral("tgoriginal-%1")
                         .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        bytes.replace(placeholder, utf16(m_original));
        ASSERT_TRUE(renamed.seek(0) && renamed.write(bytes) == bytes.size());
        renamed.close();

        const QString document
            = Tollgate::Test::DocumentBuilder()
                  .process(m_blocked.name(), QStringLiteral("(3) Block"))
                  .process(m_original + QStringLiteral(".exe"), QStringLiteral("(3) Block"))
                  .write(QStringLiteral("lab.Tollgate"));
        setConfig(QStringLiteral("Document"), QDir::toNativeSeparators(document));
        setConfig(QStringLiteral("Accounts"), QStringLiteral("@Users"));
        m_guard.setProcessChannelMode(QProcess::MergedChannels);
        m_guard.start(QCoreApplication::applicationDirPath() + QStringLiteral("/TollgateGuard.exe"),
            {QStringLiteral("--console"), QStringLiteral("--config-key"), m_key, QStringLiteral("--program"),
                m_folder + QStringLiteral("Tollgate.exe")});
        ASSERT_TRUE(m_guard.waitForStarted());
        // What the guard starts ends with the job, also when the test dies. It starts
        // nothing before its first look at the configuration, long after this.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        const Platform::KernelHandle guard(
            ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(m_guard.processId())));
        ASSERT_TRUE(
            ::SetInformationJobObject(m_job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)
            && ::AssignProcessToJobObject(m_job.get(), guard.get()));
    }

    void TearDown() override
    {
        m_guard.kill();
        m_guard.waitForFinished();
        m_job.reset();
        EXPECT_TRUE(Tollgate::Test::waitUntil([&] { return sessionPrograms().isEmpty(); }));
        m_registry.removeKey(Registry::LocalMachine, m_key);
    }

    static QByteArray utf16(const QString& text)
    {
        return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    }
    void setConfig(const QString& name, const QString& text)
    {
        ASSERT_EQ(
            m_registry.setValue(Registry::LocalMachine, m_key, {name, Registry::Sz, text.toUtf8() + '\0'}),
            0);
    }
    // Waits for a line of the guard's output containing the text.
    bool said(const QString& text)
    {
        return Tollgate::Test::waitUntil([&] {
            m_output += QString::fromLocal8Bit(m_guard.readAll());
            m_guard.waitForReadyRead(20);
            return m_output.contains(text);
        });
    }
    QList<qint64> sessionPrograms()
    {
        QList<qint64> pids;
        for (const Platform::ProcessEntry& entry : Platform::Win32ProcessTable().snapshot()) {
            if (entry.name.compare(QStringLiteral("Tollgate.exe"), Qt::CaseInsensitive) == 0
                && Platform::Win32ProgramFiles::imagePath(entry.pid).startsWith(
                    QDir::toNativeSeparators(m_folder), Qt::CaseInsensitive))
                pids.append(entry.pid);
        }
        return pids;
    }
    static bool start(const Win32NamedProgram& program)
    {
        return QProcess::startDetached(program.path(), {QStringLiteral("sleep"), QStringLiteral("600")});
    }

    const QString m_folder = Sandbox::folder() + QStringLiteral("/guarded/");
    const QString m_key = QStringLiteral("SOFTWARE\\Policies\\Tollgate\\GuardTest%1")
                              .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    Platform::Win32Registry m_registry;
    Platform::KernelHandle m_job {::CreateJobObjectW(nullptr, nullptr)};
    Win32NamedProgram m_blocked {QStringLiteral("tgblocked")};
    Win32NamedProgram m_copy {QStringLiteral("tgcopy")};
    Win32NamedProgram m_renamed {QStringLiteral("tgrenamed")};
    QString m_original;
    QProcess m_guard;
    QString m_output;
};

TEST_F(GuardWin32Test, KeepsTollgateRunningWhenItIsEnded)
{
    ASSERT_TRUE(said(QStringLiteral("Tollgate started in session")));
    QList<qint64> first;
    ASSERT_TRUE(Tollgate::Test::waitUntil([&] { return (first = sessionPrograms()).size() == 1; }));
    // The user may not end it (taskkill /F is refused)...
    EXPECT_EQ(Platform::Win32ProcessTable().terminate(Platform::ProcessId(first[0])),
        Platform::TerminateResult::NotPermitted);
    // ...an administrator may. Wine has one account for everything, so the test ends it
    // through the owner's right to change the process's access, which Windows takes from
    // the user (OWNER RIGHTS) and Wine leaves.
    const Platform::KernelHandle process(::OpenProcess(WRITE_DAC, FALSE, DWORD(first[0])));
    ASSERT_TRUE(process) << "the owner's implicit rights hold on Windows; this case is Wine's";
    ASSERT_EQ(::SetSecurityInfo(process.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                  nullptr, nullptr),
        DWORD(ERROR_SUCCESS));
    ASSERT_EQ(Platform::Win32ProcessTable().terminate(Platform::ProcessId(first[0])),
        Platform::TerminateResult::Terminated);
    EXPECT_TRUE(said(QStringLiteral("(process %1) ended with exit code 1; starting it again").arg(first[0])));
    EXPECT_TRUE(Tollgate::Test::waitUntil([&] {
        const QList<qint64> now = sessionPrograms();
        return now.size() == 1 && now[0] != first[0];
    }));
}

TEST_F(GuardWin32Test, EndsBlockedProgramsOfManagedAccountsByNameAndByIdentity)
{
    ASSERT_TRUE(said(QStringLiteral("rules loaded")));
    // The copy is known by its content once the guard has seen the program by its name.
    for (const auto& [program, how] : {std::pair {&m_blocked, QString()},
             {&m_copy, QStringLiteral(", a copy of it")}, {&m_renamed, QStringLiteral(", a copy of it")}}) {
        SCOPED_TRACE(program->name().toStdString());
        ASSERT_TRUE(start(*program));
        EXPECT_TRUE(said(program->name() + QStringLiteral(" of ")));
        EXPECT_TRUE(
            Tollgate::Test::waitUntil([&] { return Win32NamedProgram::running(program->name()) == 0; }));
        EXPECT_TRUE(m_output.contains(QRegularExpression(QRegularExpression::escape(program->name())
            + QStringLiteral(".*: Block rule [^\\n]*") + QRegularExpression::escape(how)
            + QStringLiteral("\r?\n"))));
    }

    // The account services run as, which the service itself runs as, is never managed.
    setConfig(QStringLiteral("Accounts"), QStringLiteral("SYSTEM"));
    ASSERT_TRUE(said(QStringLiteral("nothing is enforced")));
    m_output.clear();
    ASSERT_TRUE(start(m_blocked));
    ASSERT_TRUE(Tollgate::Test::waitUntil([&] { return Win32NamedProgram::running(m_blocked.name()) == 1; }));
    // Twenty ticks of the guard's.
    QThread::msleep(20 * 50);
    EXPECT_EQ(Win32NamedProgram::running(m_blocked.name()), 1);
    EXPECT_FALSE(m_output.contains(m_blocked.name())) << qPrintable(m_output);
}

} // namespace
