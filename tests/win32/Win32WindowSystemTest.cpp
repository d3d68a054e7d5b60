#include "platform/win32/Win32WindowSystem.h"

#include "Win32TestSupport.h"
#include "common/TestEnvironment.h"
#include "platform/win32/Win32InputDevices.h"

#include <gtest/gtest.h>
#include <optional>

using namespace Tollgate::Platform;
using Tollgate::Test::pumpUntil;

namespace {

// A plain top-level window of this thread that counts the close requests it receives
// and then closes, as a program's main window does.
class TestWindow
{
public:
    explicit TestWindow(const QString& title, HWND owner = nullptr)
    {
        static const ATOM windowClass = [] {
            WNDCLASSW windowClass {};
            windowClass.lpfnWndProc = &TestWindow::procedure;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"TollgateTestWindow";
            return ::RegisterClassW(&windowClass);
        }();
        m_handle
            = ::CreateWindowExW(0, MAKEINTATOM(windowClass), reinterpret_cast<const wchar_t*>(title.utf16()),
                WS_OVERLAPPEDWINDOW, 40, 40, 320, 200, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowLongPtrW(m_handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::ShowWindow(m_handle, SW_SHOW);
        ::SetForegroundWindow(m_handle);
    }
    ~TestWindow()
    {
        if (::IsWindow(m_handle))
            ::DestroyWindow(m_handle);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND handle() const { return m_handle; }
    WindowId id() const { return Win32WindowSystem::toWindowId(m_handle); }
    int closeRequests() const { return m_closeRequests; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CLOSE) {
            if (auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
                ++self->m_closeRequests;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_handle = nullptr;
    int m_closeRequests = 0;
};

std::optional<bool> works(const QList<CapabilityStatus>& statuses, Capability capability)
{
    for (const CapabilityStatus& status : statuses) {
        if (status.capability == capability)
            return status.works;
    }
    return std::nullopt;
}

bool isTopMost(HWND window)
{
    return (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

} // namespace

TEST(Win32WindowSystem, HandlesKeepTheirSignificantBits)
{
    // A handle with the 32nd bit set comes back sign-extended, as Windows makes it.
    const HWND high = Win32WindowSystem::toHandle(0x80001234u);
    EXPECT_EQ(reinterpret_cast<quintptr>(high), static_cast<quintptr>(qintptr(qint32(0x80001234u))));
    EXPECT_EQ(Win32WindowSystem::toWindowId(high), 0x80001234u);
    EXPECT_EQ(Win32WindowSystem::toHandle(0), nullptr);
}

TEST(Win32WindowSystem, ReadsAndControlsItsOwnWindow)
{
    Win32WindowSystem windows;
    TestWindow window(str("Ledger – Übersicht"));
    ASSERT_TRUE(window.handle());
    ASSERT_TRUE(pumpUntil([&] { return windows.foregroundWindow() == window.id(); }))
        << "foreground is " << windows.foregroundWindow();

    EXPECT_EQ(windows.windowTitle(window.id()), str("Ledger – Übersicht"));
    EXPECT_EQ(windows.windowProcessId(window.id()), ::GetCurrentProcessId());
    const QList<TopLevelWindow> all = windows.topLevelWindows();
    EXPECT_TRUE(all.contains(TopLevelWindow {window.id(), false}));

    ::SetWindowTextW(window.handle(), L"Renamed");
    EXPECT_EQ(windows.windowTitle(window.id()), str("Renamed"));

    // Long titles are cut without splitting a surrogate pair at the end.
    const QString longTitle = QString(WindowSystem::MaxTitleLength - 1, u'x') + str("😀") + str("tail");
    ::SetWindowTextW(window.handle(), reinterpret_cast<const wchar_t*>(longTitle.utf16()));
    EXPECT_EQ(windows.windowTitle(window.id()), QString(WindowSystem::MaxTitleLength - 1, u'x'));

    EXPECT_NE(windows.setTopMost(window.id(), true), 0);
    EXPECT_TRUE(isTopMost(window.handle()));
    EXPECT_EQ(windows.setTopMost(window.id(), false), 0);
    EXPECT_FALSE(isTopMost(window.handle()));

    ASSERT_TRUE(windows.postCloseRequest(window.id()));
    ASSERT_TRUE(pumpUntil([&] { return !::IsWindow(window.handle()); }));
    EXPECT_EQ(window.closeRequests(), 1);
}

TEST(Win32WindowSystem, AnswersNothingForHandlesThatAreNoLongerWindows)
{
    Win32WindowSystem windows;
    WindowId gone = 0;
    {
        TestWindow window(str("Short-lived"));
        gone = window.id();
    }
    ASSERT_FALSE(::IsWindow(Win32WindowSystem::toHandle(gone)));
    for (const WindowId id : {gone, WindowId(0)}) {
        EXPECT_EQ(windows.windowTitle(id), QString());
        EXPECT_FALSE(windows.postCloseRequest(id));
        EXPECT_EQ(windows.setTopMost(id, true), 0);
        EXPECT_EQ(windows.windowProcessId(id), 0u);
    }
    EXPECT_FALSE(windows.topLevelWindows().contains(TopLevelWindow {gone, false}));
}

TEST(Win32WindowSystem, MarksOwnedWindows)
{
    Win32WindowSystem windows;
    TestWindow main(str("Main"));
    TestWindow dialog(str("Dialog"), main.handle());
    ASSERT_TRUE(pumpUntil([&] {
        return windows.topLevelWindows().contains(TopLevelWindow {dialog.id(), true});
    }));
    const QList<TopLevelWindow> all = windows.topLevelWindows();
    EXPECT_TRUE(all.contains(TopLevelWindow {main.id(), false}));
    // An owned window always lies above its owner.
    EXPECT_LT(
        all.indexOf(TopLevelWindow {dialog.id(), true}), all.indexOf(TopLevelWindow {main.id(), false}));
}

TEST(Win32WindowSystem, ReportsNewWindowsAndTitleChanges)
{
    Win32WindowSystem windows;
    TestWindow first(str("First"));
    ASSERT_TRUE(pumpUntil([&] { return windows.foregroundWindow() == first.id(); }));

    int reports = 0;
    windows.setChangeHandler([&] { ++reports; });
    EXPECT_EQ(works(windows.capabilities(), Capability::WindowEvents), true);
    // Only one object holds the hooks; a second one says so.
    Win32WindowSystem other;
    other.setChangeHandler([] {});
    EXPECT_EQ(works(other.capabilities(), Capability::WindowEvents), false);

    TestWindow second(str("Second"));
    if (!pumpUntil([&] { return reports > 0; }, std::chrono::seconds(5)))
        GTEST_SKIP() << "no WinEvent arrived for a new foreground window: this system delivers none";
    reports = 0;
    ::SetWindowTextW(second.handle(), L"Second, renamed");
    if (!pumpUntil([&] { return reports > 0; }, std::chrono::seconds(5)))
        GTEST_SKIP() << "no WinEvent arrived for a new title (Wine 8 sends no EVENT_OBJECT_NAMECHANGE)";

    // Once nobody listens, the hooks are gone and nothing is reported.
    windows.setChangeHandler({});
    other.setChangeHandler({});
    Win32WindowSystem third;
    EXPECT_EQ(works(third.capabilities(), Capability::WindowEvents), true);
}

TEST(Win32InputDevices, MovesAndReadsThePointer)
{
    Win32InputDevices input;
    EXPECT_FALSE(input.primaryScreenSize().isEmpty());
    ASSERT_TRUE(input.setCursorPosition(QPoint(101, 57)));
    EXPECT_TRUE(pumpUntil([&] { return input.cursorPosition() == QPoint(101, 57); }))
        << input.cursorPosition().x() << "," << input.cursorPosition().y();
    EXPECT_FALSE(input.keyActive(InputDevices::FirstPolledKey - 1));
    EXPECT_FALSE(input.keyActive(InputDevices::LastPolledKey + 1));
}

TEST(Win32InputDevices, SeesAKeyPressedSinceTheLastQuery)
{
    Win32InputDevices input;
    Win32WindowSystem windows;
    TestWindow window(str("Typing"));
    ASSERT_TRUE(pumpUntil([&] { return windows.foregroundWindow() == window.id(); }));
    constexpr int keyF = 0x46;
    input.keyActive(keyF); // forgets earlier presses
    INPUT presses[2] = {};
    presses[0].type = presses[1].type = INPUT_KEYBOARD;
    presses[0].ki.wVk = presses[1].ki.wVk = keyF;
    presses[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(::SendInput(2, presses, sizeof(INPUT)), 2u);
    if (!pumpUntil([&] { return input.keyActive(keyF); }, std::chrono::seconds(5)))
        GTEST_SKIP() << "GetAsyncKeyState keeps no pressed-since bit on this system";
    EXPECT_FALSE(input.keyActive(keyF)) << "the press counts only once";
}
