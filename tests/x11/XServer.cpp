#include "XServer.h"

#include <QStandardPaths>
#include <algorithm>

namespace Tollgate::Test {

QString XServer::unavailableReason(bool withWindowManager)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        return QStringLiteral("Xvfb is not installed (Debian package xvfb)");
    if (withWindowManager && QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        return QStringLiteral("openbox is not installed (Debian package openbox)");
    return QString();
}

QProcessEnvironment XServer::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

bool XServer::start(bool withWindowManager)
{
    // -displayfd picks a free display and writes its number to our pipe once it accepts
    // connections.
    QProcess* server = m_servers.start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!server)
        return false;
    QByteArray number;
    waitUntil([&] {
        server->waitForReadyRead(100);
        number += server->readAllStandardOutput();
        return number.contains('\n') || server->state() != QProcess::Running;
    });
    if (!number.contains('\n'))
        return false;
    m_display = u':' + QString::fromLatin1(number.trimmed());
    m_connection = Platform::X11Connection::open(m_display.toLatin1(), nullptr);
    if (!m_connection)
        return false;
    if (withWindowManager) {
        // The sandboxed XDG folders hide openbox's own configuration.
        QProcessEnvironment environment = clientEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), QStringLiteral("/etc/xdg"));
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/local/share:/usr/share"));
        if (!m_servers.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}, environment)
            || !waitUntil([this] { return m_connection->windowManager() != 0; }))
            return false;
        // The check window comes before the manager is ready to take on new windows: wait
        // until it has managed one of ours.
        return windowManagerManagesNewWindows();
    }
    return true;
}

bool XServer::windowManagerManagesNewWindows()
{
    xcb_connection_t* c = m_connection->get();
    const xcb_atom_t stacking = m_connection->atom(Platform::X11Connection::NetClientListStacking);
    const auto listed = [&](xcb_window_t window) {
        return m_connection->cardinalListProperty(m_connection->root(), stacking, XCB_ATOM_WINDOW)
            .contains(window);
    };
    const xcb_window_t probe = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, m_connection->root(), 0, 0, 16, 16, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    // openbox loses windows that map while it starts up, so map again until it takes one.
    const bool managed = waitUntil([&] {
        xcb_unmap_window(c, probe);
        xcb_map_window(c, probe);
        xcb_flush(c);
        return waitUntil([&] { return listed(probe); }, std::chrono::seconds(1));
    });
    xcb_destroy_window(c, probe);
    xcb_flush(c);
    waitUntil([&] { return !listed(probe); });
    return managed;
}

void XServer::roundTrip(Platform::X11Connection& connection)
{
    xcb_connection_t* c = connection.get();
    const Platform::XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

quint8 XServer::keycodeOf(quint32 keysym)
{
    xcb_connection_t* c = m_connection->get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const Platform::XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(c,
        xcb_get_keyboard_mapping(c, setup->min_keycode, quint8(setup->max_keycode - setup->min_keycode + 1)),
        nullptr));
    if (!mapping)
        return 0;
    const int perKeycode = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int count = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    for (int row = 0; row + perKeycode <= count; row += perKeycode) {
        const xcb_keysym_t* begin = syms + row;
        const xcb_keysym_t* end = begin + perKeycode;
        if (keysym ? std::find(begin, end, keysym) != end : std::count(begin, end, 0u) == perKeycode)
            return quint8(setup->min_keycode + row / perKeycode);
    }
    return 0;
}

} // namespace Tollgate::Test
