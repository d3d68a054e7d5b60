#pragma once

#include "SwayIpc.h"
#include "WaylandConnection.h"
#include "platform/WindowSystem.h"

#include <map>

struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;
struct wl_seat;
struct wl_array;

namespace Tollgate::Platform {

// The windows of a wlroots compositor through its foreign-toplevel-management protocol:
// the compositor announces every toplevel with its title and state, and takes close and
// activate requests. Window ids are numbers of our own, never reused within a run. The
// protocol does not name a window's process; sway's IPC does, where its socket is given.
class WaylandWindowSystem : public WindowSystem
{
public:
    WaylandWindowSystem(std::shared_ptr<WaylandConnection> connection, const QString& swaySocket);
    ~WaylandWindowSystem() override;

    // Whether the compositor offers what this backend needs.
    static bool supported(const WaylandConnection& connection);

    WindowId foregroundWindow() override;
    QString windowTitle(WindowId window) override;
    bool postCloseRequest(WindowId window) override;
    qint32 setTopMost(WindowId window, bool onTop) override;
    QList<TopLevelWindow> topLevelWindows() override;
    ProcessId windowProcessId(WindowId window) override;
    bool isOwnWindow(WindowId window, const OwnWindows& own) override;
    QList<CapabilityStatus> capabilities() override;

    // Brings the window to the front and gives it the keyboard; false for an unknown id.
    bool activate(WindowId window);

private:
    struct Toplevel
    {
        WaylandObject<zwlr_foreign_toplevel_handle_v1> handle;
        WindowId id = 0;
        QString title;
        QString appId;
        bool activated = false;
        zwlr_foreign_toplevel_handle_v1* parent = nullptr;
        ProcessId pid = 0;
        bool own = false; // shown by this process, as far as isOwnWindow could tell
    };

    static void onToplevel(
        void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle);
    static void onFinished(void* data, zwlr_foreign_toplevel_manager_v1*);
    static void onTitle(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* title);
    static void onAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId);
    static void onState(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* state);
    static void onDone(void* data, zwlr_foreign_toplevel_handle_v1* handle);
    static void onClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle);
    static void onParent(
        void* data, zwlr_foreign_toplevel_handle_v1* handle, zwlr_foreign_toplevel_handle_v1* parent);

    // Reads what has arrived; false once the compositor is gone.
    bool refresh();
    Toplevel* find(zwlr_foreign_toplevel_handle_v1* handle);
    Toplevel* find(WindowId window);

    std::shared_ptr<WaylandConnection> m_connection;
    WaylandObject<zwlr_foreign_toplevel_manager_v1> m_manager;
    WaylandObject<wl_seat> m_seat;
    SwayIpc m_sway;
    QStringList m_lastOwnTitles; // the titles of our own windows at the last isOwnWindow
    // By id, so that iteration runs oldest first.
    std::map<WindowId, Toplevel> m_toplevels;
    WindowId m_nextId = 1;
    WindowId m_lastActivated = 0;
    // A title or activation the survey reads changed since the last done.
    bool m_changePending = false;
};

} // namespace Tollgate::Platform
