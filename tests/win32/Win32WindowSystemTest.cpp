// The Win32 backend in the desktop contract, with windows of the test client; beside it
// what only Win32 has: handle bits, owned windows, one holder of the WinEvent hooks and
// the input devices.
#include "platform/win32/Win32WindowSystem.h"

#include "Win32NamedProgram.h"
#include "common/DesktopContract.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32InputDevices.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace Tollgate::Platform;
using Tollgate::Test::waitProcessingEvents;

namespace {

struct WindowCloser
{
    void operator()(HWND window) const { ::DestroyWindow(window); }
};
using OwnWindow = std::unique_ptr<HWND__, WindowCloser>;

// A shown top-level window of this thread, owned by another when given one.
OwnWindow makeWindow(const QString& title, HWND owner = nullptr)
{
    OwnWindow window(::CreateWindowExW(0, L"STATIC", reinterpret_cast<const wchar_t*>(title.utf16()),
        WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 200, owner, nullptr, nullptr, nullptr));
    ::SetForegroundWindow(window.get());
    return window;
}

WindowId idOf(const OwnWindow& window)
{
    return Win32WindowSystem::toWindowId(window.get());
}

// The session the tests run in (Wine's, in CI); its clients end with it.
struct Win32Session : Tollgate::Test::PrivateDesktop
{
    QProcessEnvironment clientEnvironment() const override
    {
        return QProcessEnvironment::systemEnvironment();
    }
};

} // namespace

namespace Tollgate::Test {

struct Win32Desktop : QtWindows
{
    using Desktop = Win32Session;
    static constexpr bool NewWindowsTakeTheFocus = true;
    static inline const QStringList Report = reportLines(
        {"backend: win32", "foreground window: works", "window titles: works", "close requests: works",
            "topmost placement: works", "window process ids: works", "window change events: works",
            "key activity: works", "cursor: works", "screen size: works", "process names: works",
            "termination rights: works", "process change events: unavailable", "system log: works"});

    static QString unavailableReason() { return QString(); }
    static bool start(Win32Session&, QString*) { return true; }
    static std::unique_ptr<Platform::Platform> platform(Win32Session&) { return PlatformFactory::create(); }
    static QProcess* startWindow(Win32Session& session, const QString& title)
    {
        return session.startClient(testClient(), {QStringLiteral("window"), title});
    }
    // Wine now and then hands the focus back to the window that had it: asked again, it stays.
    static bool activate(Win32Session&, Platform::Platform&, WindowId window)
    {
        const HWND handle = Win32WindowSystem::toHandle(window);
        for (int attempt = 0; attempt < 10 && ::GetForegroundWindow() != handle; ++attempt) {
            ::SetForegroundWindow(handle);
            waitProcessingEvents([&] { return ::GetForegroundWindow() == handle; }, std::chrono::seconds(1));
        }
        return true;
    }
    // Whether the system sends title changes at all (Wine 8 does not), asked with a hook
    // and a window of the test's own.
    static QString titleEventsMissing()
    {
        static int seen = 0;
        static const bool missing = [] {
            const WinEventHook hook(::SetWinEventHook(
                EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
                [](HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) { ++seen; }, 0, 0,
                WINEVENT_OUTOFCONTEXT));
            const OwnWindow window = makeWindow(QStringLiteral("Tollgate probe"));
            ::SetWindowTextW(window.get(), L"Tollgate probe, renamed");
            return !waitProcessingEvents([] { return seen > 0; }, std::chrono::seconds(5));
        }();
        return missing ? QStringLiteral("no EVENT_OBJECT_NAMECHANGE arrives for a renamed window")
                       : QString();
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, DesktopContract, testing::Types<Win32Desktop>);

} // namespace Tollgate::Test

TEST(Win32WindowSystem, HandlesKeepTheirSignificantBits)
{
    // A handle with the 32nd bit set comes back sign-extended, as Windows makes it.
    const HWND high = Win32WindowSystem::toHandle(0x80001234u);
    EXPECT_EQ(reinterpret_cast<quintptr>(high), static_cast<quintptr>(qintptr(qint32(0x80001234u))));
    EXPECT_EQ(Win32WindowSystem::toWindowId(high), 0x80001234u);
    EXPECT_EQ(Win32WindowSystem::toHandle(0), nullptr);
}

TEST(Win32WindowSystem, ReadsLongTitlesWholeCharactersAndMarksOwnedWindowsAboveTheirOwner)
{
    Win32WindowSystem windows;
    const OwnWindow main = makeWindow(str("Ledger – Übersicht"));
    const OwnWindow dialog = makeWindow(str("Dialog"), main.get());
    ASSERT_TRUE(main && dialog);
    EXPECT_EQ(windows.windowTitle(idOf(main)), str("Ledger – Übersicht"));
    // Long titles are cut without splitting a surrogate pair at the end.
    const QString longTitle = QString(WindowSystem::MaxTitleLength - 1, u'x') + str("😀tail");
    ::SetWindowTextW(main.get(), reinterpret_cast<const wchar_t*>(longTitle.utf16()));
    EXPECT_EQ(windows.windowTitle(idOf(main)), QString(WindowSystem::MaxTitleLength - 1, u'x'));

    const TopLevelWindow owned {idOf(dialog), true};
    ASSERT_TRUE(waitProcessingEvents([&] { return windows.topLevelWindows().contains(owned); }));
    const QList<TopLevelWindow> all = windows.topLevelWindows();
    EXPECT_LT(all.indexOf(owned), all.indexOf(TopLevelWindow {idOf(main), false}));
}

TEST(Win32WindowSystem, OneObjectHoldsTheHooksUntilNobodyListens)
{
    const auto events = [](Win32WindowSystem& windows) {
        const QList<CapabilityStatus> all = windows.capabilities();
        return std::ranges::find(all, Capability::WindowEvents, &CapabilityStatus::capability)->works;
    };
    Win32WindowSystem first, second, third;
    first.setChangeHandler([] {});
    second.setChangeHandler([] {});
    EXPECT_TRUE(events(first));
    EXPECT_FALSE(events(second)) << "a second holder of the hooks";
    first.setChangeHandler({});
    EXPECT_TRUE(events(third)) << "the hooks stayed taken";
}

TEST(Win32InputDevices, MovesThePointerAndSeesAKeyPressedSinceTheLastQueryOnce)
{
    Win32InputDevices input;
    EXPECT_FALSE(input.primaryScreenSize().isEmpty());
    ASSERT_TRUE(input.setCursorPosition(QPoint(101, 57)));
    EXPECT_TRUE(waitProcessingEvents([&] { return input.cursorPosition() == QPoint(101, 57); }));
    EXPECT_FALSE(input.keyActive(InputDevices::FirstPolledKey - 1));
    EXPECT_FALSE(input.keyActive(InputDevices::LastPolledKey + 1));

    const OwnWindow window = makeWindow(str("Typing"));
    ASSERT_TRUE(waitProcessingEvents([&] { return ::GetForegroundWindow() == window.get(); }));
    constexpr int keyF = 0x46;
    INPUT presses[2] = {};
    presses[0].type = presses[1].type = INPUT_KEYBOARD;
    presses[0].ki.wVk = presses[1].ki.wVk = keyF;
    presses[1].ki.dwFlags = KEYEVENTF_KEYUP;
    // The system's own bit first, then the backend's reading of it.
    for (const bool probe : {true, false}) {
        ::GetAsyncKeyState(keyF); // forgets earlier presses
        ASSERT_EQ(::SendInput(2, presses, sizeof(INPUT)), 2u);
        const bool seen = waitProcessingEvents(
            [&] { return probe ? (::GetAsyncKeyState(keyF) & 1) != 0 : input.keyActive(keyF); },
            std::chrono::seconds(5));
        if (probe && !seen)
            GTEST_SKIP() << "GetAsyncKeyState keeps no pressed-since bit on this system";
        EXPECT_TRUE(seen);
    }
    EXPECT_FALSE(input.keyActive(keyF)) << "the press counts only once";
}
