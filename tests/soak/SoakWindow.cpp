// A plain X client for the soak and hostile-desktop runs: one top-level window that takes
// the input focus again and again, changes its title once, and honours close requests.
//
//   tollgate_soak_window LIFETIME_MS RETITLE_MS TITLE [NEW_TITLE]
//
// A title of the form @FILE is read from that file, byte for byte. Exits 0 after its
// lifetime, 10 when asked to close, 2 when the display cannot be opened.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <poll.h>
#include <string>
#include <xcb/xcb.h>

namespace {

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::string titleText(const char* argument)
{
    if (argument[0] != '@')
        return argument;
    std::ifstream file(argument + 1, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void setTitle(
    xcb_connection_t* c, xcb_window_t window, const std::string& title, xcb_atom_t netWmName, xcb_atom_t utf8)
{
    const auto length = static_cast<uint32_t>(title.size());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmName, utf8, 8, length, title.data());
    xcb_change_property(
        c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length, title.data());
    xcb_flush(c);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s LIFETIME_MS RETITLE_MS TITLE [NEW_TITLE]\n", argv[0]);
        return 1;
    }
    const long lifetimeMs = std::atol(argv[1]);
    const long retitleMs = std::atol(argv[2]);
    const std::string first = titleText(argv[3]);
    const std::string second = argc > 4 ? titleText(argv[4]) : first;

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> owner(c, xcb_disconnect);
    if (xcb_connection_has_error(c))
        return 2;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 200, 100, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = atom(c, "WM_DELETE_WINDOW");
    const xcb_atom_t netWmName = atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
    setTitle(c, window, first, netWmName, utf8);
    xcb_map_window(c, window);
    xcb_flush(c);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bool retitled = false;
    for (;;) {
        const long elapsed = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        if (elapsed >= lifetimeMs)
            return 0;
        if (!retitled && elapsed >= retitleMs) {
            setTitle(c, window, second, netWmName, utf8);
            retitled = true;
        }
        // Take the focus, as a user clicking into the window would.
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
        xcb_flush(c);
        pollfd pfd {xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&pfd, 1, 100);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const std::unique_ptr<xcb_generic_event_t, FreeDeleter> owned(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == protocols && message->data.data32[0] == deleteWindow)
                    return 10;
            }
        }
        if (xcb_connection_has_error(c))
            return 2;
    }
}
