#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaObject>
#include <QString>
#include <array>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

class QSocketNotifier;

namespace Tollgate::Platform {

// xcb hands out replies that the caller frees with free().
struct FreeDeleter
{
    void operator()(void* pointer) const { std::free(pointer); }
};
template<typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// One connection of our own to an X server, with the atoms and extensions we use. The
// backends that share it read its events through handlers: the first handler starts the
// reading, from the event loop, whenever the server sends something.
class X11Connection
{
public:
    enum Atom {
        NetSupportingWmCheck,
        NetActiveWindow,
        NetWmName,
        NetWmPid,
        NetCloseWindow,
        NetWmState,
        NetWmStateAbove,
        NetClientListStacking,
        NetClientList,
        Utf8String,
        CompoundText,
        WmState,
        WmProtocols,
        WmDeleteWindow,
        AtomCount
    };

    // Connects to the display (the DISPLAY variable for an empty name); null with the
    // reason in error when that fails.
    static std::shared_ptr<X11Connection> open(const QByteArray& displayName, QString* error);
    ~X11Connection();

    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_screen->root; }
    const xcb_screen_t& screen() const { return *m_screen; }
    xcb_atom_t atom(Atom atom) const { return m_atoms[atom]; }
    bool hasError() const { return xcb_connection_has_error(m_connection) != 0; }

    bool hasResourceExtension() const { return m_hasResourceExtension; }
    // The XInput major opcode when XInput 2.2 is there, else 0.
    quint8 inputOpcode() const { return m_inputOpcode; }
    bool hasMonitors() const { return m_hasMonitors; }

    XcbReply<xcb_get_property_reply_t> property(
        xcb_window_t window, xcb_atom_t property, xcb_atom_t type, quint32 maxLongs = 1024) const;
    // A property of type WINDOW or CARDINAL holding one value; 0 when missing.
    quint32 cardinalProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const;
    QList<quint32> cardinalListProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const;
    bool isWindow(xcb_window_t window) const;

    // Every event that arrives is handed to each handler, in the order they were added.
    // The handlers live as long as the connection; they are called from the event loop
    // and from readEvents().
    using EventHandler = std::function<void(const xcb_generic_event_t& event)>;
    void addEventHandler(EventHandler handler);
    // Hands out the events that have arrived, without waiting for more; with queuedOnly,
    // only those xcb has read already.
    void readEvents(bool queuedOnly = false);

    // The EWMH window manager's check window, or 0 when none runs.
    xcb_window_t windowManager() const;
    QString windowManagerName() const;

private:
    // Only open() makes connections.
    struct Token
    {
        explicit Token() = default;
    };

public:
    X11Connection(Token, xcb_connection_t* connection, const xcb_screen_t* screen);

private:
    xcb_connection_t* m_connection;
    const xcb_screen_t* m_screen;
    std::array<xcb_atom_t, AtomCount> m_atoms = {};
    bool m_hasResourceExtension = false;
    quint8 m_inputOpcode = 0;
    bool m_hasMonitors = false;
    std::vector<EventHandler> m_handlers;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QMetaObject::Connection m_beforeSleep;
    bool m_reading = false;
};

} // namespace Tollgate::Platform
