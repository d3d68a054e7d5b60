#include "X11Connection.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <cstring>
#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/xinput.h>

namespace Tollgate::Platform {

std::shared_ptr<X11Connection> X11Connection::open(const QByteArray& displayName, QString* error)
{
    int screenNumber = 0;
    xcb_connection_t* connection
        = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        if (error)
            *error = QStringLiteral("cannot connect to the X server");
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        if (error)
            *error = QStringLiteral("the X server has no such screen");
        return nullptr;
    }
    return std::make_shared<X11Connection>(Token(), connection, screens.data);
}

X11Connection::X11Connection(Token, xcb_connection_t* connection, const xcb_screen_t* screen)
    : m_connection(connection)
    , m_screen(screen)
{
    static constexpr std::array<const char*, AtomCount> names = {
        "_NET_SUPPORTING_WM_CHECK",
        "_NET_ACTIVE_WINDOW",
        "_NET_WM_NAME",
        "_NET_WM_PID",
        "_NET_CLOSE_WINDOW",
        "_NET_WM_STATE",
        "_NET_WM_STATE_ABOVE",
        "_NET_CLIENT_LIST_STACKING",
        "_NET_CLIENT_LIST",
        "UTF8_STRING",
        "COMPOUND_TEXT",
        "WM_STATE",
        "WM_PROTOCOLS",
        "WM_DELETE_WINDOW",
    };
    // All requests first, then all replies: one round trip instead of a dozen.
    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies;
    for (int i = 0; i < AtomCount; ++i)
        cookies[i] = xcb_intern_atom(m_connection, 0, quint16(std::strlen(names[i])), names[i]);
    const auto resVersion = xcb_res_query_version(m_connection, 1, 2);
    const auto inputVersion = xcb_input_xi_query_version(m_connection, 2, 2);
    const auto randrVersion = xcb_randr_query_version(m_connection, 1, 5);

    for (int i = 0; i < AtomCount; ++i) {
        const XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_connection, cookies[i], nullptr));
        m_atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    const XcbReply<xcb_res_query_version_reply_t> res(
        xcb_res_query_version_reply(m_connection, resVersion, nullptr));
    m_hasResourceExtension
        = res && (res->server_major > 1 || (res->server_major == 1 && res->server_minor >= 2));

    const XcbReply<xcb_input_xi_query_version_reply_t> input(
        xcb_input_xi_query_version_reply(m_connection, inputVersion, nullptr));
    const xcb_query_extension_reply_t* inputExtension = xcb_get_extension_data(m_connection, &xcb_input_id);
    if (input && input->major_version >= 2 && inputExtension && inputExtension->present)
        m_inputOpcode = inputExtension->major_opcode;

    const XcbReply<xcb_randr_query_version_reply_t> randr(
        xcb_randr_query_version_reply(m_connection, randrVersion, nullptr));
    m_hasMonitors
        = randr && (randr->major_version > 1 || (randr->major_version == 1 && randr->minor_version >= 5));
}

X11Connection::~X11Connection()
{
    QObject::disconnect(m_beforeSleep);
    m_notifier.reset();
    xcb_disconnect(m_connection);
}

void X11Connection::addEventHandler(EventHandler handler)
{
    m_handlers.push_back(std::move(handler));
    if (m_notifier)
        return;
    m_notifier
        = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(
        m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readEvents(); });
    // Waiting for a reply reads any events that came first into xcb's queue, where the
    // socket no longer announces them: hand them out before the event loop sleeps.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        m_beforeSleep = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
            m_notifier.get(), [this] { readEvents(true); });
    }
}

void X11Connection::readEvents(bool queuedOnly)
{
    // A handler that asks the server something must not hand out events in between.
    if (m_reading)
        return;
    m_reading = true;
    const auto next = queuedOnly ? xcb_poll_for_queued_event : xcb_poll_for_event;
    while (const XcbReply<xcb_generic_event_t> event {next(m_connection)}) {
        for (const EventHandler& handler : m_handlers)
            handler(*event);
    }
    m_reading = false;
}

XcbReply<xcb_get_property_reply_t> X11Connection::property(
    xcb_window_t window, xcb_atom_t property, xcb_atom_t type, quint32 maxLongs) const
{
    if (window == XCB_WINDOW_NONE || property == XCB_ATOM_NONE)
        return nullptr;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, maxLongs), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return nullptr;
    return reply;
}

quint32 X11Connection::cardinalProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
{
    const auto reply = this->property(window, property, type, 1);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    return *static_cast<const quint32*>(xcb_get_property_value(reply.get()));
}

QList<quint32> X11Connection::cardinalListProperty(
    xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
{
    QList<quint32> values;
    const auto reply = this->property(window, property, type, 65536);
    if (!reply || reply->format != 32)
        return values;
    const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    values.reserve(count);
    for (int i = 0; i < count; ++i)
        values.append(data[i]);
    return values;
}

bool X11Connection::isWindow(xcb_window_t window) const
{
    if (window == XCB_WINDOW_NONE)
        return false;
    const XcbReply<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return reply != nullptr;
}

xcb_window_t X11Connection::windowManager() const
{
    // The check window must name itself, or it is left over from a manager that ended.
    const xcb_window_t check = cardinalProperty(root(), atom(NetSupportingWmCheck), XCB_ATOM_WINDOW);
    if (check == XCB_WINDOW_NONE
        || cardinalProperty(check, atom(NetSupportingWmCheck), XCB_ATOM_WINDOW) != check)
        return XCB_WINDOW_NONE;
    return check;
}

QString X11Connection::windowManagerName() const
{
    const auto reply = property(windowManager(), atom(NetWmName), atom(Utf8String));
    if (!reply)
        return QString();
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
        xcb_get_property_value_length(reply.get()));
}

} // namespace Tollgate::Platform
