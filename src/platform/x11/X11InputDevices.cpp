#include "X11InputDevices.h"

#include <utility>
#include <xcb/randr.h>
#include <xcb/xinput.h>

namespace Tollgate::Platform {

X11InputDevices::X11InputDevices(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    xcb_connection_t* c = m_connection->get();
    if (m_connection->inputOpcode()) {
        // Every device, masters and slaves: the per-keycode state makes a duplicate harmless.
        struct
        {
            xcb_input_event_mask_t head;
            quint32 mask;
        } selection = {{XCB_INPUT_DEVICE_ALL, 1},
            XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE
                | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION};
        const XcbReply<xcb_generic_error_t> error(xcb_request_check(
            c, xcb_input_xi_select_events_checked(c, m_connection->root(), 1, &selection.head)));
        m_rawKeys = !error;
        m_rawMotion = !error;
    }
    rebuildKeyTable();

    if (m_connection->hasMonitors()) {
        const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
        if (randr && randr->present) {
            m_randrFirstEvent = randr->first_event;
            xcb_randr_select_input(c, m_connection->root(),
                XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE
                    | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
        }
    }

    // Keys that are down already when we start count as down.
    const XcbReply<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    if (keymap) {
        for (int keycode = 0; keycode < 256; ++keycode)
            m_keycodeDown[size_t(keycode)] = keymap->keys[keycode / 8] & (1 << (keycode % 8));
    }

    // Read while idle too, so that events do not pile up between queries.
    m_connection->addEventHandler([this](const xcb_generic_event_t& event) { handleEvent(event); });
}

void X11InputDevices::rebuildKeyTable()
{
    xcb_connection_t* c = m_connection->get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const quint8 first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, first, quint8(count)), nullptr));
    if (!mapping)
        return;
    m_keys.build(first, mapping->keysyms_per_keycode, xcb_get_keyboard_mapping_keysyms(mapping.get()),
        xcb_get_keyboard_mapping_keysyms_length(mapping.get()));
}

void X11InputDevices::handleEvent(const xcb_generic_event_t& event)
{
    const quint8 type = event.response_type & 0x7f;
    if (m_randrFirstEvent != 0
        && (type == m_randrFirstEvent + XCB_RANDR_SCREEN_CHANGE_NOTIFY
            || type == m_randrFirstEvent + XCB_RANDR_NOTIFY)) {
        m_screenSize = QSize();
        return;
    }
    if (type == XCB_GE_GENERIC) {
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(&event);
        if (generic->extension != m_connection->inputOpcode())
            return;
        if (generic->event_type == XCB_INPUT_RAW_MOTION) {
            const bool known = std::exchange(m_cursorKnown, false);
            // One report per move as seen: a burst of motion asks for one survey.
            if (known)
                reportChange();
            return;
        }
        const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(&event);
        const auto keycode = size_t(raw->detail & 0xff);
        if (generic->event_type == XCB_INPUT_RAW_KEY_PRESS) {
            m_keycodeDown[keycode] = true;
            for (const int virtualKey : m_keys.virtualKeys(quint8(keycode)))
                m_pressedSinceQuery[size_t(virtualKey)] = true;
        } else if (generic->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
            m_keycodeDown[keycode] = false;
        }
    } else if (type == XCB_MAPPING_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_mapping_notify_event_t*>(&event);
        if (notify->request == XCB_MAPPING_KEYBOARD)
            rebuildKeyTable();
    }
}

bool X11InputDevices::keyActive(int virtualKey)
{
    if (virtualKey < FirstPolledKey || virtualKey > LastPolledKey)
        return false;
    // Idle detection asks for the keys in ascending order: one read of the socket per round.
    m_connection->readEvents(virtualKey != FirstPolledKey);
    bool active = m_pressedSinceQuery[size_t(virtualKey)];
    m_pressedSinceQuery[size_t(virtualKey)] = false;
    // Mostly no key is held: the table need not be searched then.
    if (!active && m_keycodeDown.any()) {
        for (const quint8 keycode : m_keys.keycodes(virtualKey))
            active = active || m_keycodeDown[keycode];
    }
    return active;
}

QPoint X11InputDevices::cursorPosition()
{
    // Only what xcb has read already: a move still in the socket is reported, and so
    // surveyed, once the event loop reads it a moment later.
    m_connection->readEvents(true);
    if (m_cursorKnown && m_cursorAge.isValid() && m_cursorAge.elapsed() < CursorMaxAgeMs)
        return m_cursor;
    xcb_connection_t* c = m_connection->get();
    const XcbReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection->root()), nullptr));
    m_cursor = pointer ? QPoint(pointer->root_x, pointer->root_y) : QPoint();
    // Raw motion tells of every move the devices make, but a warp by another client makes
    // no raw event: the pointer is still asked for now and then.
    m_cursorKnown = m_rawMotion && pointer && watchingChanges();
    m_cursorAge.start();
    return m_cursor;
}

bool X11InputDevices::setCursorPosition(QPoint position)
{
    xcb_connection_t* c = m_connection->get();
    const XcbReply<xcb_generic_error_t> error(xcb_request_check(c,
        xcb_warp_pointer_checked(c, XCB_WINDOW_NONE, m_connection->root(), 0, 0, 0, 0, qint16(position.x()),
            qint16(position.y()))));
    m_cursorKnown = false;
    return !error && !m_connection->hasError();
}

QSize X11InputDevices::primaryScreenSize()
{
    // Events read already may say it changed.
    m_connection->readEvents(true);
    if (m_screenSize.isEmpty() || m_randrFirstEvent == 0 || m_connection->hasError()
        || m_screenSizeAge.elapsed() >= ScreenSizeMaxAgeMs) {
        m_screenSize = askScreenSize();
        m_screenSizeAge.start();
    }
    return m_screenSize;
}

QSize X11InputDevices::askScreenSize() const
{
    xcb_connection_t* c = m_connection->get();
    if (m_connection->hasMonitors()) {
        const XcbReply<xcb_randr_get_monitors_reply_t> monitors(
            xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, m_connection->root(), 1), nullptr));
        if (monitors) {
            QSize atOrigin;
            for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t& monitor = *it.data;
                if (monitor.primary)
                    return QSize(monitor.width, monitor.height);
                if (atOrigin.isEmpty() && monitor.x <= 0 && monitor.y <= 0 && monitor.x + monitor.width > 0
                    && monitor.y + monitor.height > 0)
                    atOrigin = QSize(monitor.width, monitor.height);
            }
            if (!atOrigin.isEmpty())
                return atOrigin;
        }
    }
    return QSize(m_connection->screen().width_in_pixels, m_connection->screen().height_in_pixels);
}

QList<CapabilityStatus> X11InputDevices::capabilities()
{
    QList<CapabilityStatus> result;
    result.append({Capability::KeyActivity, m_rawKeys,
        m_rawKeys ? QStringLiteral("XInput 2 raw key and motion events")
                  : QStringLiteral("the X server lacks XInput 2: keys are never seen")});
    result.append({Capability::Cursor, true, QStringLiteral("pointer query and warp")});
    const QSize size = primaryScreenSize();
    result.append({Capability::ScreenSize, !size.isEmpty(),
        QStringLiteral("%1 x %2%3")
            .arg(size.width())
            .arg(size.height())
            .arg(m_connection->hasMonitors() ? QStringLiteral(" (RandR monitors)") : QString())});
    return result;
}

} // namespace Tollgate::Platform
