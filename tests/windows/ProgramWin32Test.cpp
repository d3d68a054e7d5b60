// Tollgate.exe on Windows (Wine on a private X server in CI): real windows, real
// processes, the program's own files beside it, and a private home.
#include "common/ProgramDriver.h"
#include "platform/PlatformFactory.h"
#include "platform/win32/Win32WindowSystem.h"
#include "win32/Win32NamedProgram.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Tollgate;
using Test::ProgramDriver;
using Test::Win32NamedProgram;

namespace {

// The session Wine (or Windows) runs the test in, for the program driver.
class ProgramOnWindows : public testing::Test, public Test::ProgramDesktop
{
protected:
    void SetUp() override
    {
        const QString reason = m_driver.setUp();
        ASSERT_TRUE(reason.isEmpty()) << qPrintable(reason);
    }

    QProcessEnvironment environment() override { return QProcessEnvironment::systemEnvironment(); }
    // The program with its DLLs, plugins, languages, icons and help, so that its log,
    // which lies beside it, is this test's own.
    QString installProgram(const QString& folder) override
    {
        const QDir built(QCoreApplication::applicationDirPath());
        const QRegularExpression belongs(QStringLiteral("^(Tollgate\\.exe|[^/]*\\.dll|platforms/qwindows.*|"
                                                        "(Language|Icons|Help|styles|imageformats)/.*)$"));
        for (QDirIterator files(built.path(), QDir::Files, QDirIterator::Subdirectories); files.hasNext();) {
            const QString relative = built.relativeFilePath(files.next());
            if (belongs.match(relative).hasMatch()
                && !(QDir().mkpath(QFileInfo(folder + u'/' + relative).path())
                    && QFile::copy(built.filePath(relative), folder + u'/' + relative)))
                return QString();
        }
        return folder + QStringLiteral("/Tollgate.exe");
    }
    QString makeSleeper(const QString& folder, const QString& prefix) override
    {
        m_sleepers.push_back(std::make_unique<Win32NamedProgram>(prefix, folder));
        return m_sleepers.back()->ready() ? m_sleepers.back()->path() : QString();
    }
    QStringList sleepArguments() override { return {QStringLiteral("sleep"), QStringLiteral("600")}; }
    QStringList windowCommand(const QString& title) override
    {
        return {Tollgate::Test::testClient(), QStringLiteral("window"), title};
    }
    int closedWindowExitCode() override { return 0; }
    int running(const QString& fileName) override { return Win32NamedProgram::running(fileName); }
    void endAll(const QString& fileName) override { Win32NamedProgram::running(fileName, true); }

    bool onTop(Window window) override
    {
        const HWND handle = Platform::Win32WindowSystem::toHandle(Platform::WindowId(window));
        return (::GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    }
    void pointerIntoCorner() override
    {
        ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    // Each character as itself, then Enter.
    void typeLine(const QString& text) override
    {
        QList<INPUT> keys;
        for (const QChar character : text + u'\r') {
            const bool enter = character == u'\r';
            for (const DWORD up : {DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
                INPUT key {};
                key.type = INPUT_KEYBOARD;
                key.ki.wVk = enter ? VK_RETURN : 0;
                key.ki.wScan = enter ? 0 : character.unicode();
                key.ki.dwFlags = up | (enter ? 0 : KEYEVENTF_UNICODE);
                keys.append(key);
            }
        }
        ::SendInput(UINT(keys.size()), keys.data(), sizeof(INPUT));
    }

    Platform::WindowSystem& windows() override { return m_platform->windows(); }

    std::unique_ptr<Platform::Platform> m_platform = Platform::PlatformFactory::create();
    std::vector<std::unique_ptr<Win32NamedProgram>> m_sleepers;
    ProgramDriver m_driver {*this};
};

} // namespace

TEST_F(ProgramOnWindows, UnattendedStartEnforcesTheDocument)
{
    m_driver.unattendedStartEnforcesTheDocument();
}

TEST_F(ProgramOnWindows,
    ABlockEverythingRuleNeverClosesThePromptWhosePasswordStopsTheSurveyAndShowsTheMainWindow)
{
    m_driver.passwordStopsTheSurveyAndShowsTheMainWindow();
}

TEST_F(ProgramOnWindows, InteractiveStartShowsTheSplashThenTheMainWindowAndASecondStartEndsAtOnce)
{
    QStringList seen;
    m_driver.interactiveStartThenASecondStart(&seen);
    EXPECT_TRUE(seen.contains(QStringLiteral("Tollgate"))) << "no splash before the main window";
}
