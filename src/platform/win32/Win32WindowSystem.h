#pragma once

#include "Win32Handle.h"
#include "platform/WindowSystem.h"

#include <array>

namespace Tollgate::Platform {

// Top-level windows through user32. While changes are watched, out-of-context WinEvent
// hooks report a new foreground window and top-level windows that appear, disappear or
// change their title. A focus change that brings another foreground window counts too:
// some systems (Wine) send no foreground events. Windows delivers those events through the message queue of
// the thread that set the hooks, so they arrive on the thread of the event loop.
//
// The hook callback is a plain function and finds its object through one static pointer:
// only one Win32WindowSystem watches at a time (the platform makes one); another that
// asks to watch while the first does simply never reports, and the tick still comes.
class Win32WindowSystem : public WindowSystem
{
public:
    Win32WindowSystem() = default;
    ~Win32WindowSystem() override;

    WindowId foregroundWindow() override;
    QString windowTitle(WindowId window) override;
    bool postCloseRequest(WindowId window) override;
    qint32 setTopMost(WindowId window, bool onTop) override;
    QList<TopLevelWindow> topLevelWindows() override;
    ProcessId windowProcessId(WindowId window) override;
    QList<CapabilityStatus> capabilities() override;

    // Window handles have 32 significant bits, also in 64-bit processes, so that 32- and
    // 64-bit programs can share them: they are truncated on the way out and sign-extended
    // on the way back, as Windows does itself.
    static WindowId toWindowId(HWND window);
    static HWND toHandle(WindowId window);

protected:
    void watchChanges(bool on) override;

private:
    static void CALLBACK onWinEvent(
        HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child, DWORD thread, DWORD time);

    std::array<WinEventHook, 4> m_hooks;
    HWND m_reportedForeground = nullptr;
};

} // namespace Tollgate::Platform
