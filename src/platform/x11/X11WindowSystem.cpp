#include "X11WindowSystem.h"

#include "CompoundText.h"

#include <algorithm>
#include <cstring>
#include <xcb/res.h>

namespace Tollgate::Platform {

namespace {

    // Source indication for EWMH requests: a pager or other tool acting for the user.
    constexpr quint32 SourceUser = 2;
    constexpr quint32 StateRemove = 0;
    constexpr quint32 StateAdd = 1;
    constexpr int MaxFrameDepth = 4;

    QString propertyText(const xcb_get_property_reply_t& reply)
    {
        auto* data = static_cast<const char*>(xcb_get_property_value(&reply));
        qsizetype length = xcb_get_property_value_length(&reply);
        while (length > 0 && data[length - 1] == '\0')
            --length;
        return QString::fromUtf8(data, length);
    }

} // namespace

X11WindowSystem::X11WindowSystem(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    m_connection->addEventHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });
}

void X11WindowSystem::watchChanges(bool on)
{
    xcb_connection_t* c = m_connection->get();
    const quint32 rootMask = on ? XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE : 0;
    xcb_change_window_attributes(c, m_connection->root(), XCB_CW_EVENT_MASK, &rootMask);
    m_foregroundKnown = false;
    if (on)
        foregroundWindow(); // starts following it
    else
        watchWindow(XCB_WINDOW_NONE);
    xcb_flush(c);
}

void X11WindowSystem::watchWindow(xcb_window_t window)
{
    if (window == m_watched)
        return;
    // Selecting on a window that is gone earns an error event, which nobody minds.
    xcb_connection_t* c = m_connection->get();
    if (m_watched != XCB_WINDOW_NONE) {
        const quint32 none = 0;
        xcb_change_window_attributes(c, m_watched, XCB_CW_EVENT_MASK, &none);
    }
    m_watched = window;
    if (m_watched != XCB_WINDOW_NONE) {
        const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE;
        xcb_change_window_attributes(c, m_watched, XCB_CW_EVENT_MASK, &mask);
    }
    xcb_flush(c);
}

void X11WindowSystem::handleEvent(const xcb_generic_event_t& event)
{
    switch (event.response_type & 0x7f) {
    case 0: {
        // The followed window went away before its events were selected: asked afresh.
        const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
        if (error.resource_id == m_watched)
            m_foregroundKnown = false;
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        const auto is = [&](X11Connection::Atom atom) { return notify.atom == m_connection->atom(atom); };
        if (notify.window == m_connection->root()) {
            if (is(X11Connection::NetActiveWindow) || is(X11Connection::NetClientList)
                || is(X11Connection::NetSupportingWmCheck)) {
                m_foregroundKnown = false;
                reportChange();
            }
        } else if (notify.window == m_watched) {
            if (notify.atom == XCB_ATOM_WM_NAME || is(X11Connection::NetWmName)) {
                m_foregroundTitle.reset();
                reportChange();
            }
        }
        break;
    }
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT: {
        // Without a window manager the focus is the foreground; the pointer wandering
        // under a PointerRoot focus is not a change.
        const auto& focus = reinterpret_cast<const xcb_focus_in_event_t&>(event);
        if (focus.detail != XCB_NOTIFY_DETAIL_POINTER) {
            m_foregroundKnown = false;
            reportChange();
        }
        break;
    }
    default:
        break;
    }
}

bool X11WindowSystem::hasWmState(xcb_window_t window) const
{
    const xcb_atom_t wmState = m_connection->atom(X11Connection::WmState);
    return m_connection->property(window, wmState, wmState, 1) != nullptr;
}

xcb_window_t X11WindowSystem::clientBelow(xcb_window_t window, int depth) const
{
    xcb_connection_t* c = m_connection->get();
    const XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = count - 1; i >= 0; --i) {
        if (hasWmState(children[i]))
            return children[i];
    }
    if (depth <= 1)
        return XCB_WINDOW_NONE;
    for (int i = count - 1; i >= 0; --i) {
        if (const xcb_window_t client = clientBelow(children[i], depth - 1))
            return client;
    }
    return XCB_WINDOW_NONE;
}

xcb_window_t X11WindowSystem::clientWindow(xcb_window_t window) const
{
    xcb_connection_t* c = m_connection->get();
    xcb_window_t current = window;
    while (current != XCB_WINDOW_NONE && current != m_connection->root()) {
        if (hasWmState(current))
            return current;
        const XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr));
        if (!tree)
            return XCB_WINDOW_NONE;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) {
            const xcb_window_t client = clientBelow(current, MaxFrameDepth);
            return client ? client : current;
        }
        current = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

bool X11WindowSystem::foregroundKnown()
{
    if (!m_foregroundKnown)
        return false;
    // Only events xcb has read already count: the rest come from the event loop a moment
    // later and ask for a survey of their own.
    m_connection->readEvents(true);
    return m_foregroundKnown && watchingChanges() && !m_connection->hasError()
        && m_foregroundAge.elapsed() < KnownAnswerMaxAgeMs;
}

WindowId X11WindowSystem::foregroundWindow()
{
    if (foregroundKnown())
        return m_watched;
    bool byFocus = false;
    WindowId window = findForegroundWindow(&byFocus);
    if (!watchingChanges())
        return window;
    // Followed before its title is read, so that no later change goes unseen. The input
    // focus moving between two top-level windows tells only them, not the root window:
    // a move before a new window was followed is caught by asking once more.
    bool settled = !byFocus || window == m_watched;
    watchWindow(window);
    for (int tries = 0; !settled && tries < 3; ++tries) {
        const WindowId again = findForegroundWindow(&byFocus);
        settled = again == window;
        if (!settled) {
            window = again;
            watchWindow(window);
        }
    }
    m_foregroundKnown = settled;
    m_foregroundTitle.reset();
    m_foregroundAge.start();
    return window;
}

WindowId X11WindowSystem::findForegroundWindow(bool* byFocus) const
{
    *byFocus = false;
    if (m_connection->windowManager()) {
        const xcb_window_t active = m_connection->cardinalProperty(
            m_connection->root(), m_connection->atom(X11Connection::NetActiveWindow), XCB_ATOM_WINDOW);
        return active ? clientWindow(active) : 0;
    }
    *byFocus = true;
    xcb_connection_t* c = m_connection->get();
    const XcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    // None and PointerRoot are not windows.
    if (!focus || focus->focus <= XCB_INPUT_FOCUS_POINTER_ROOT || focus->focus == m_connection->root())
        return 0;
    return clientWindow(focus->focus);
}

QString X11WindowSystem::windowTitle(WindowId window)
{
    if (window == 0)
        return QString();
    const bool foreground = window == m_watched && foregroundKnown();
    if (foreground && m_foregroundTitle)
        return *m_foregroundTitle;
    QString title;
    const xcb_atom_t utf8 = m_connection->atom(X11Connection::Utf8String);
    if (const auto name = m_connection->property(window, m_connection->atom(X11Connection::NetWmName), utf8);
        name && name->format == 8) {
        title = propertyText(*name);
    } else if (const auto legacy = m_connection->property(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
               legacy && legacy->format == 8) {
        const auto* data = static_cast<const char*>(xcb_get_property_value(legacy.get()));
        const int length = xcb_get_property_value_length(legacy.get());
        if (legacy->type == utf8)
            title = propertyText(*legacy);
        else if (legacy->type == m_connection->atom(X11Connection::CompoundText))
            title = CompoundText::decode(QByteArrayView(data, length));
        else
            title = QString::fromLatin1(data, length);
    }
    if (title.size() > MaxTitleLength) {
        title.truncate(MaxTitleLength);
        if (title.back().isHighSurrogate())
            title.chop(1);
    }
    if (foreground && !m_connection->hasError())
        m_foregroundTitle = title;
    return title;
}

void X11WindowSystem::sendClientMessage(xcb_window_t destination, xcb_window_t window, xcb_atom_t type,
    std::array<quint32, 5> data, quint32 eventMask)
{
    // xcb_send_event copies exactly 32 bytes.
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(m_connection->get(), 0, destination, eventMask, reinterpret_cast<const char*>(&event));
    xcb_flush(m_connection->get());
}

bool X11WindowSystem::postCloseRequest(WindowId window)
{
    if (!m_connection->isWindow(window))
        return false;
    if (m_connection->windowManager()) {
        // The manager knows what to do with clients that ignore the request.
        sendClientMessage(m_connection->root(), window, m_connection->atom(X11Connection::NetCloseWindow),
            {XCB_CURRENT_TIME, SourceUser, 0, 0, 0},
            XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
        return true;
    }
    const xcb_atom_t deleteWindow = m_connection->atom(X11Connection::WmDeleteWindow);
    const QList<quint32> protocols = m_connection->cardinalListProperty(
        window, m_connection->atom(X11Connection::WmProtocols), XCB_ATOM_ATOM);
    if (!protocols.contains(deleteWindow))
        return false;
    sendClientMessage(window, window, m_connection->atom(X11Connection::WmProtocols),
        {deleteWindow, XCB_CURRENT_TIME, 0, 0, 0}, XCB_EVENT_MASK_NO_EVENT);
    return true;
}

qint32 X11WindowSystem::setTopMost(WindowId window, bool onTop)
{
    xcb_connection_t* c = m_connection->get();
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (window == 0 || !attributes)
        return 0;

    const xcb_atom_t state = m_connection->atom(X11Connection::NetWmState);
    const xcb_atom_t above = m_connection->atom(X11Connection::NetWmStateAbove);
    if (!m_connection->windowManager()) {
        // No band without a manager; raising is the nearest thing.
        if (onTop) {
            const quint32 stackMode = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, &stackMode);
            xcb_flush(c);
        }
        return onTop ? 1 : 0;
    }
    // A window the manager has not taken on (no WM_STATE) keeps its state in its own
    // property, read when it is managed; a managed one only listens to the request. A
    // window in between, being managed just now, gets both.
    if (!hasWmState(window)) {
        QList<quint32> states = m_connection->cardinalListProperty(window, state, XCB_ATOM_ATOM);
        states.removeAll(above);
        if (onTop)
            states.append(above);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
            quint32(states.size()), states.constData());
    }
    sendClientMessage(m_connection->root(), window, state,
        {onTop ? StateAdd : StateRemove, above, 0, SourceUser, 0},
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
    return onTop ? 1 : 0;
}

QList<TopLevelWindow> X11WindowSystem::topLevelWindows()
{
    xcb_connection_t* c = m_connection->get();
    QList<xcb_window_t> windows; // topmost first
    if (m_connection->windowManager()) {
        const QList<quint32> stacking = m_connection->cardinalListProperty(
            m_connection->root(), m_connection->atom(X11Connection::NetClientListStacking), XCB_ATOM_WINDOW);
        windows = QList<xcb_window_t>(stacking.rbegin(), stacking.rend());
    } else {
        const XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, m_connection->root()), nullptr));
        if (!tree)
            return {};
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        std::vector<xcb_get_window_attributes_cookie_t> cookies;
        cookies.reserve(size_t(count));
        for (int i = 0; i < count; ++i)
            cookies.push_back(xcb_get_window_attributes(c, children[i]));
        for (int i = count - 1; i >= 0; --i) {
            const XcbReply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c, cookies[size_t(i)], nullptr));
            if (attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED
                && !attributes->override_redirect)
                windows.append(children[i]);
        }
    }

    std::vector<xcb_get_property_cookie_t> transient;
    transient.reserve(size_t(windows.size()));
    for (const xcb_window_t window : windows)
        transient.push_back(xcb_get_property(c, 0, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1));
    QList<TopLevelWindow> result;
    result.reserve(windows.size());
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const XcbReply<xcb_get_property_reply_t> owner(
            xcb_get_property_reply(c, transient[size_t(i)], nullptr));
        const bool owned = owner && owner->format == 32 && xcb_get_property_value_length(owner.get()) >= 4
            && *static_cast<const quint32*>(xcb_get_property_value(owner.get())) != 0;
        result.append({windows[i], owned});
    }
    return result;
}

ProcessId X11WindowSystem::windowProcessId(WindowId window)
{
    if (window == 0)
        return 0;
    xcb_connection_t* c = m_connection->get();
    // The server answers for any id in a client's range, destroyed windows included, so
    // the window's existence is asked along with it.
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    xcb_res_query_client_ids_cookie_t idsCookie = {};
    if (m_connection->hasResourceExtension()) {
        const xcb_res_client_id_spec_t wanted = {window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        idsCookie = xcb_res_query_client_ids(c, 1, &wanted);
    }
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
    if (m_connection->hasResourceExtension()) {
        const XcbReply<xcb_res_query_client_ids_reply_t> ids(
            xcb_res_query_client_ids_reply(c, idsCookie, nullptr));
        if (attributes && ids) {
            for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem;
                 xcb_res_client_id_value_next(&it)) {
                // Only the local-pid kind was asked for, so every answer is a pid.
                if (it.data->length >= 4)
                    return *xcb_res_client_id_value_value(it.data);
            }
        }
    }
    if (!attributes)
        return 0;
    return m_connection->cardinalProperty(
        window, m_connection->atom(X11Connection::NetWmPid), XCB_ATOM_CARDINAL);
}

QList<CapabilityStatus> X11WindowSystem::capabilities()
{
    const bool manager = m_connection->windowManager() != XCB_WINDOW_NONE;
    const QString managerName = manager ? m_connection->windowManagerName() : QString();
    const QString managed = managerName.isEmpty()
        ? QStringLiteral("the window manager")
        : QStringLiteral("the window manager (%1)").arg(managerName);
    QList<CapabilityStatus> result;
    result.append({Capability::ForegroundWindow, true,
        manager ? QStringLiteral("active window of %1").arg(managed)
                : QStringLiteral("input focus (no window manager runs)")});
    result.append({Capability::WindowTitles, true, QStringLiteral("_NET_WM_NAME, else WM_NAME")});
    result.append({Capability::CloseRequests, true,
        manager ? QStringLiteral("through %1").arg(managed)
                : QStringLiteral("WM_DELETE_WINDOW, to clients that accept it")});
    result.append({Capability::TopMost, manager,
        manager ? QStringLiteral("_NET_WM_STATE_ABOVE through %1").arg(managed)
                : QStringLiteral("no window manager runs: windows can only be raised")});
    result.append({Capability::WindowEvents, true,
        manager ? QStringLiteral("active window, client list and title changes")
                : QStringLiteral("input focus and title changes")});
    result.append({Capability::WindowProcessIds, true,
        m_connection->hasResourceExtension()
            ? QStringLiteral("X-Resource extension, else _NET_WM_PID")
            : QStringLiteral("_NET_WM_PID only: windows of clients that do not set it have none")});
    return result;
}

} // namespace Tollgate::Platform
