#include "WaylandConnection.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <algorithm>
#include <poll.h>
#include <wayland-client.h>

namespace Tollgate::Platform {

WaylandConnection::WaylandConnection(wl_display* display)
    : m_display(display)
    , m_registry(wl_display_get_registry(display), wl_registry_destroy)
{
    static const wl_registry_listener listener
        = {&WaylandConnection::onGlobal, &WaylandConnection::onGlobalRemove};
    wl_registry_add_listener(m_registry.get(), &listener, this);

    m_notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { dispatch(); });
}

WaylandConnection::~WaylandConnection()
{
    m_notifier.reset();
    m_registry.reset();
    wl_display_disconnect(m_display);
}

std::shared_ptr<WaylandConnection> WaylandConnection::open(const QByteArray& name, QString* error)
{
    wl_display* display = wl_display_connect(name.isEmpty() ? nullptr : name.constData());
    if (!display) {
        *error = QStringLiteral("cannot connect to the Wayland display");
        return nullptr;
    }
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection(display));
    if (!connection->roundTrip()) {
        *error = QStringLiteral("the Wayland display does not answer");
        return nullptr;
    }
    return connection;
}

void WaylandConnection::onGlobal(
    void* data, wl_registry*, quint32 name, const char* interface, quint32 version)
{
    static_cast<WaylandConnection*>(data)->m_globals.push_back({QByteArray(interface), name, version});
}

void WaylandConnection::onGlobalRemove(void* data, wl_registry*, quint32 name)
{
    std::erase_if(static_cast<WaylandConnection*>(data)->m_globals,
        [name](const Global& global) { return global.name == name; });
}

const WaylandConnection::Global* WaylandConnection::firstGlobal(const char* interface) const
{
    for (const Global& global : m_globals) {
        if (global.interface == interface)
            return &global;
    }
    return nullptr;
}

quint32 WaylandConnection::globalName(const char* interface) const
{
    const Global* global = firstGlobal(interface);
    return global ? global->name : 0;
}

wl_proxy* WaylandConnection::bind(const wl_interface* interface, quint32 maxVersion)
{
    const Global* global = firstGlobal(interface->name);
    if (!global)
        return nullptr;
    const quint32 version = std::min({global->version, maxVersion, quint32(interface->version)});
    return static_cast<wl_proxy*>(wl_registry_bind(m_registry.get(), global->name, interface, version));
}

void WaylandConnection::readAndDispatch(int timeoutMs)
{
    while (wl_display_prepare_read(m_display) != 0)
        wl_display_dispatch_pending(m_display);
    wl_display_flush(m_display);
    pollfd fd = {wl_display_get_fd(m_display), POLLIN, 0};
    // A hang-up is read too: only reading the end of the stream marks the connection lost.
    if (poll(&fd, 1, timeoutMs) > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR)))
        wl_display_read_events(m_display);
    else
        wl_display_cancel_read(m_display);
    wl_display_dispatch_pending(m_display);
    wl_display_flush(m_display);
}

void WaylandConnection::dispatch()
{
    if (!hasError())
        readAndDispatch(0);
    // A lost compositor: stop listening instead of spinning on a dead socket.
    if (hasError())
        m_notifier->setEnabled(false);
}

bool WaylandConnection::roundTrip()
{
    if (hasError())
        return false;
    // wl_display_roundtrip would wait forever for a compositor that hangs.
    bool answered = false;
    static const wl_callback_listener listener
        = {[](void* data, wl_callback*, quint32) { *static_cast<bool*>(data) = true; }};
    const WaylandObject<wl_callback> callback(wl_display_sync(m_display), wl_callback_destroy);
    wl_callback_add_listener(callback.get(), &listener, &answered);
    QElapsedTimer clock;
    clock.start();
    while (!answered && !hasError() && clock.elapsed() < RoundTripTimeoutMs)
        readAndDispatch(int(RoundTripTimeoutMs - clock.elapsed()));
    return answered;
}

bool WaylandConnection::hasError() const
{
    return wl_display_get_error(m_display) != 0;
}

} // namespace Tollgate::Platform
