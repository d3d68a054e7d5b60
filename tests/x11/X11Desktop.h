#pragma once

#include "XServer.h"
#include "common/DesktopContract.h"

namespace Tollgate::Test {

// The X11 backend in the desktop contract, on a private Xvfb with or without openbox.
template<bool WindowManager> struct X11Desktop : QtWindows
{
    using Desktop = XServer;
    static constexpr bool NewWindowsTakeTheFocus = WindowManager;
    static inline const QStringList Report = reportLines(
        {"backend: x11", "foreground window: works", "window titles: works", "close requests: works",
            WindowManager ? "topmost placement: works" : "topmost placement: unavailable",
            "window process ids: works", "window change events: works", "key activity: works",
            "cursor: works", "process names: works", "termination rights: works", "system log: works"});

    static QString unavailableReason() { return XServer::unavailableReason(WindowManager); }
    static bool start(XServer& server, QString*) { return server.start(WindowManager); }
    static std::unique_ptr<Platform::Platform> platform(XServer& server)
    {
        return Platform::PlatformFactory::create(server.display(), QString(), QString());
    }
    static bool activate(XServer& server, Platform::Platform&, Platform::WindowId window)
    {
        Platform::X11Connection& c = server.connection();
        if (WindowManager) {
            xcb_client_message_event_t event {};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = c.atom(Platform::X11Connection::NetActiveWindow);
            event.data.data32[0] = 2; // from a pager, which the manager obeys
            xcb_send_event(c.get(), 0, c.root(),
                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                reinterpret_cast<const char*>(&event));
        } else {
            xcb_set_input_focus(c.get(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        }
        server.roundTrip();
        return true;
    }
};

} // namespace Tollgate::Test
