#include "Win32WindowSystem.h"

#include <utility>

namespace Tollgate::Platform {

namespace {

    // The object that watches, while one does (see the class comment).
    Win32WindowSystem* s_watcher = nullptr;

    // A handle that still names a window; user32 reuses handles only after a long while.
    HWND liveWindow(WindowId window)
    {
        const HWND handle = Win32WindowSystem::toHandle(window);
        return window != 0 && ::IsWindow(handle) ? handle : nullptr;
    }

} // namespace

Win32WindowSystem::~Win32WindowSystem()
{
    if (s_watcher == this)
        s_watcher = nullptr;
}

WindowId Win32WindowSystem::toWindowId(HWND window)
{
    return static_cast<WindowId>(reinterpret_cast<quintptr>(window));
}

HWND Win32WindowSystem::toHandle(WindowId window)
{
    return reinterpret_cast<HWND>(static_cast<qintptr>(static_cast<qint32>(window)));
}

WindowId Win32WindowSystem::foregroundWindow()
{
    return toWindowId(::GetForegroundWindow());
}

QString Win32WindowSystem::windowTitle(WindowId window)
{
    const HWND handle = liveWindow(window);
    if (!handle)
        return QString();
    // Room for one character more than kept, so that a cut surrogate pair can be seen.
    // For another process's window GetWindowTextW reads the stored caption and sends
    // nothing, so a hung program cannot stall the survey here.
    std::array<wchar_t, MaxTitleLength + 2> buffer {};
    const int length = ::GetWindowTextW(handle, buffer.data(), int(buffer.size()));
    if (length <= 0)
        return QString();
    QString title = QString::fromWCharArray(buffer.data(), length);
    if (title.size() > MaxTitleLength) {
        title.truncate(MaxTitleLength);
        if (title.back().isHighSurrogate())
            title.chop(1);
    }
    return title;
}

bool Win32WindowSystem::postCloseRequest(WindowId window)
{
    const HWND handle = liveWindow(window);
    return handle && ::PostMessageW(handle, WM_CLOSE, 0, 0);
}

qint32 Win32WindowSystem::setTopMost(WindowId window, bool onTop)
{
    const HWND handle = liveWindow(window);
    if (!handle)
        return 0;
    const BOOL placed = ::SetWindowPos(
        handle, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return onTop && placed ? 1 : 0;
}

QList<TopLevelWindow> Win32WindowSystem::topLevelWindows()
{
    // EnumWindows walks the top-level windows in z-order, topmost first.
    QList<TopLevelWindow> result;
    ::EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
            if (::IsWindowVisible(window)) {
                reinterpret_cast<QList<TopLevelWindow>*>(list)->append(
                    {toWindowId(window), ::GetWindow(window, GW_OWNER) != nullptr});
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&result));
    return result;
}

ProcessId Win32WindowSystem::windowProcessId(WindowId window)
{
    const HWND handle = liveWindow(window);
    if (!handle)
        return 0;
    DWORD pid = 0;
    if (::GetWindowThreadProcessId(handle, &pid) == 0)
        return 0;
    return pid;
}

void Win32WindowSystem::watchChanges(bool on)
{
    if (!on) {
        for (WinEventHook& hook : m_hooks)
            hook.reset();
        if (s_watcher == this)
            s_watcher = nullptr;
        return;
    }
    if (s_watcher && s_watcher != this)
        return;
    s_watcher = this;
    // Narrow ranges rather than one wide one: the events between them (location changes
    // above all) come by the thousand as the pointer moves.
    constexpr DWORD flags = WINEVENT_OUTOFCONTEXT;
    constexpr std::array<std::pair<DWORD, DWORD>, 4> ranges {{
        {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND},
        {EVENT_OBJECT_CREATE, EVENT_OBJECT_HIDE},
        {EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS},
        {EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE},
    }};
    for (size_t i = 0; i < ranges.size(); ++i)
        m_hooks[i].reset(
            ::SetWinEventHook(ranges[i].first, ranges[i].second, nullptr, &onWinEvent, 0, 0, flags));
    m_reportedForeground = ::GetForegroundWindow();
}

void CALLBACK Win32WindowSystem::onWinEvent(
    HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (!s_watcher || !window)
        return;
    if (event == EVENT_OBJECT_FOCUS) {
        // Focus moves between the controls of one window far more often than to another
        // window: only a new foreground window is news.
        const HWND foreground = ::GetForegroundWindow();
        if (foreground == s_watcher->m_reportedForeground)
            return;
        s_watcher->m_reportedForeground = foreground;
    } else if (event == EVENT_SYSTEM_FOREGROUND) {
        s_watcher->m_reportedForeground = window;
    } else {
        // Only windows themselves, not their caret, scroll bars or list items.
        if (object != OBJID_WINDOW || child != CHILDID_SELF)
            return;
        // Controls inside windows come and go and rename themselves all the time. A window
        // already destroyed cannot be asked: it is reported, as a hint may be.
        if (::IsWindow(window) && ::GetAncestor(window, GA_ROOT) != window)
            return;
    }
    s_watcher->reportChange();
}

QList<CapabilityStatus> Win32WindowSystem::capabilities()
{
    const bool events = s_watcher == nullptr || s_watcher == this;
    QList<CapabilityStatus> result;
    result.append({Capability::ForegroundWindow, true, QStringLiteral("GetForegroundWindow")});
    result.append({Capability::WindowTitles, true, QStringLiteral("GetWindowTextW")});
    result.append({Capability::CloseRequests, true, QStringLiteral("WM_CLOSE posted to the window")});
    result.append({Capability::TopMost, true, QStringLiteral("SetWindowPos with HWND_TOPMOST")});
    result.append({Capability::WindowProcessIds, true, QStringLiteral("GetWindowThreadProcessId")});
    result.append({Capability::WindowEvents, events,
        events ? QStringLiteral(
            "WinEvent hooks: foreground, focus, title, new, shown, hidden and destroyed windows")
               : QStringLiteral("another window system of this process holds the WinEvent hooks")});
    return result;
}

} // namespace Tollgate::Platform
