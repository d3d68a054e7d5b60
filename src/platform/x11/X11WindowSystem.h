#pragma once

#include "X11Connection.h"
#include "platform/WindowSystem.h"

#include <QElapsedTimer>
#include <optional>

namespace Tollgate::Platform {

// Top-level windows through EWMH when a window manager runs, through the root window's
// children and ICCCM otherwise. Handles are always client windows, never frames. While
// changes are watched, the root window's active window and client list, the input focus
// and the title of the foreground window are reported as changes. The same events keep
// the foreground window and its title known meanwhile, so that a survey between changes
// asks the server nothing; the answers are asked for afresh at least every
// KnownAnswerMaxAgeMs all the same.
class X11WindowSystem : public WindowSystem
{
public:
    explicit X11WindowSystem(std::shared_ptr<X11Connection> connection);

    WindowId foregroundWindow() override;
    QString windowTitle(WindowId window) override;
    bool postCloseRequest(WindowId window) override;
    qint32 setTopMost(WindowId window, bool onTop) override;
    QList<TopLevelWindow> topLevelWindows() override;
    ProcessId windowProcessId(WindowId window) override;
    QList<CapabilityStatus> capabilities() override;

    static constexpr qint64 KnownAnswerMaxAgeMs = 1000;

protected:
    void watchChanges(bool on) override;

private:
    void handleEvent(const xcb_generic_event_t& event);
    // Follows the foreground window's title and focus; 0 follows nothing.
    void watchWindow(xcb_window_t window);
    // byFocus: the answer is the input focus's, as no window manager runs.
    WindowId findForegroundWindow(bool* byFocus) const;
    bool hasWmState(xcb_window_t window) const;
    // The client window that window belongs to: itself or an ancestor with WM_STATE, else
    // a descendant with it (a frame), else its top-level window.
    xcb_window_t clientWindow(xcb_window_t window) const;
    xcb_window_t clientBelow(xcb_window_t window, int depth) const;
    void sendClientMessage(xcb_window_t destination, xcb_window_t window, xcb_atom_t type,
        std::array<quint32, 5> data, quint32 eventMask);

    // Whether the foreground window (and its title) as last asked for still holds: no
    // event said otherwise, the connection works and the answer is young enough.
    bool foregroundKnown();

    std::shared_ptr<X11Connection> m_connection;
    xcb_window_t m_watched = XCB_WINDOW_NONE;
    bool m_foregroundKnown = false;
    std::optional<QString> m_foregroundTitle;
    QElapsedTimer m_foregroundAge;
};

} // namespace Tollgate::Platform
