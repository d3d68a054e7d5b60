#include "WaylandInputDevices.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"
// The generated header names a parameter after a C++ keyword.
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <sys/mman.h>
#include <wayland-client.h>

namespace Tollgate::Platform {

namespace {
    template<typename T>
    WaylandObject<T> bindGlobal(
        WaylandConnection& connection, const wl_interface& interface, quint32 maxVersion, void (*destroy)(T*))
    {
        return WaylandObject<T>(reinterpret_cast<T*>(connection.bind(&interface, maxVersion)), destroy);
    }

    void releaseSeat(wl_seat* seat)
    {
        if (wl_seat_get_version(seat) >= WL_SEAT_RELEASE_SINCE_VERSION)
            wl_seat_release(seat);
        else
            wl_seat_destroy(seat);
    }
    void releasePointer(wl_pointer* pointer)
    {
        if (wl_pointer_get_version(pointer) >= WL_POINTER_RELEASE_SINCE_VERSION)
            wl_pointer_release(pointer);
        else
            wl_pointer_destroy(pointer);
    }
    void releaseOutput(wl_output* output)
    {
        if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(output);
        else
            wl_output_destroy(output);
    }
    void destroyLayerShell(zwlr_layer_shell_v1* shell)
    {
        if (zwlr_layer_shell_v1_get_version(shell) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(shell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(shell));
    }
    void destroyKdeIdle(org_kde_kwin_idle* idle)
    {
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(idle));
    }
} // namespace

WaylandInputDevices::WaylandInputDevices(std::shared_ptr<WaylandConnection> connection)
    : m_connection(std::move(connection))
    , m_seat(bindGlobal(*m_connection, wl_seat_interface, 5, releaseSeat))
    , m_pointer(nullptr, releasePointer)
    , m_output(nullptr, releaseOutput)
    , m_compositor(bindGlobal(*m_connection, wl_compositor_interface, 4, wl_compositor_destroy))
    , m_shm(bindGlobal(*m_connection, wl_shm_interface, 1, wl_shm_destroy))
    , m_layerShell(bindGlobal(*m_connection, zwlr_layer_shell_v1_interface, 4, destroyLayerShell))
    , m_cornerSurface(nullptr, wl_surface_destroy)
    , m_cornerLayer(nullptr, zwlr_layer_surface_v1_destroy)
    , m_cornerBuffer(nullptr, wl_buffer_destroy)
    , m_idleNotifier(
          bindGlobal(*m_connection, ext_idle_notifier_v1_interface, 1, ext_idle_notifier_v1_destroy))
    , m_idleNotification(nullptr, ext_idle_notification_v1_destroy)
    , m_kdeIdle(m_idleNotifier ? WaylandObject<org_kde_kwin_idle>(nullptr, destroyKdeIdle)
                               : bindGlobal(*m_connection, org_kde_kwin_idle_interface, 1, destroyKdeIdle))
    , m_kdeIdleTimeout(nullptr, org_kde_kwin_idle_timeout_release)
{
    if (m_seat) {
        static const wl_seat_listener listener = {
            .capabilities =
                [](void* data, wl_seat*, quint32 capabilities) {
                    static_cast<WaylandInputDevices*>(data)->updatePointer(capabilities);
                },
            .name = [](void*, wl_seat*, const char*) {},
        };
        wl_seat_add_listener(m_seat.get(), &listener, this);
    }
    bindOutput();
    // Seat capabilities and the output's mode arrive with the first round trip.
    m_connection->roundTrip();
    m_restingPosition = QPoint(primaryScreenSize().width() / 2, primaryScreenSize().height() / 2);
    createIdleNotification();
    createCornerSurface();
    m_connection->roundTrip();
}

WaylandInputDevices::~WaylandInputDevices()
{
    m_connection->dispatch();
}

void WaylandInputDevices::bindOutput()
{
    m_outputPixels = QSize();
    m_outputScale = 1;
    m_outputName = m_connection->globalName(wl_output_interface.name);
    m_output.reset(reinterpret_cast<wl_output*>(m_connection->bind(&wl_output_interface, 3)));
    if (!m_output)
        return;
    static const wl_output_listener listener = {
        .geometry = [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                        const char*, int32_t) {},
        .mode =
            [](void* data, wl_output*, quint32 flags, int32_t width, int32_t height, int32_t) {
                if (flags & WL_OUTPUT_MODE_CURRENT)
                    static_cast<WaylandInputDevices*>(data)->m_outputPixels = QSize(width, height);
            },
        .done = [](void*, wl_output*) {},
        .scale =
            [](void* data, wl_output*, int32_t factor) {
                static_cast<WaylandInputDevices*>(data)->m_outputScale = std::max(1, factor);
            },
        .name = [](void*, wl_output*, const char*) {},
        .description = [](void*, wl_output*, const char*) {},
    };
    wl_output_add_listener(m_output.get(), &listener, this);
}

void WaylandInputDevices::rebuildCornerAfterOutputChange()
{
    // The compositor closes the corner surface with its output (a monitor unplugged or
    // turned off). Without it nobody could reach the password prompt, so it moves to the
    // output that is first now at once, or is asked for again on the same output only every
    // CornerRetryQueries queries, so that an output that refuses it costs nothing.
    if (!m_layerShell || !m_compositor || !m_shm || (!m_cornerClosed && m_cornerLayer))
        return;
    const quint32 first = m_connection->globalName(wl_output_interface.name);
    if (first == 0)
        return;
    if (first == m_outputName && ++m_cornerRetryCount < CornerRetryQueries)
        return;
    m_cornerRetryCount = 0;
    m_cornerMapped = false;
    m_cornerClosed = false;
    m_cornerEntered = false;
    m_cornerBuffer.reset();
    m_cornerLayer.reset();
    m_cornerSurface.reset();
    bindOutput();
    createCornerSurface();
    m_connection->dispatch();
}

void WaylandInputDevices::createIdleNotification()
{
    if (!m_seat)
        return;
    if (m_idleNotifier) {
        static const ext_idle_notification_v1_listener listener = {
            .idled
            = [](void* data,
                  ext_idle_notification_v1*) { static_cast<WaylandInputDevices*>(data)->setIdle(true); },
            .resumed
            = [](void* data,
                  ext_idle_notification_v1*) { static_cast<WaylandInputDevices*>(data)->setIdle(false); },
        };
        m_idleNotification.reset(ext_idle_notifier_v1_get_idle_notification(
            m_idleNotifier.get(), IdleGranularityMs, m_seat.get()));
        ext_idle_notification_v1_add_listener(m_idleNotification.get(), &listener, this);
    } else if (m_kdeIdle) {
        static const org_kde_kwin_idle_timeout_listener listener = {
            .idle
            = [](void* data,
                  org_kde_kwin_idle_timeout*) { static_cast<WaylandInputDevices*>(data)->setIdle(true); },
            .resumed
            = [](void* data,
                  org_kde_kwin_idle_timeout*) { static_cast<WaylandInputDevices*>(data)->setIdle(false); },
        };
        m_kdeIdleTimeout.reset(
            org_kde_kwin_idle_get_idle_timeout(m_kdeIdle.get(), m_seat.get(), IdleGranularityMs));
        org_kde_kwin_idle_timeout_add_listener(m_kdeIdleTimeout.get(), &listener, this);
    }
}

void WaylandInputDevices::setIdle(bool idle)
{
    m_idle = idle;
    if (!idle)
        m_resumedSinceQuery = true;
}

void WaylandInputDevices::updatePointer(quint32 seatCapabilities)
{
    const bool hasPointer = seatCapabilities & WL_SEAT_CAPABILITY_POINTER;
    if (!hasPointer) {
        m_pointer.reset();
        return;
    }
    if (m_pointer)
        return;
    static const wl_pointer_listener listener = {
        .enter =
            [](void* data, wl_pointer*, quint32, wl_surface* surface, wl_fixed_t, wl_fixed_t) {
                auto* self = static_cast<WaylandInputDevices*>(data);
                if (surface && surface == self->m_cornerSurface.get())
                    self->m_cornerEntered = true;
            },
        .leave = [](void*, wl_pointer*, quint32, wl_surface*) {},
        .motion = [](void*, wl_pointer*, quint32, wl_fixed_t, wl_fixed_t) {},
        .button = [](void*, wl_pointer*, quint32, quint32, quint32, quint32) {},
        .axis = [](void*, wl_pointer*, quint32, quint32, wl_fixed_t) {},
        .frame = [](void*, wl_pointer*) {},
        .axis_source = [](void*, wl_pointer*, quint32) {},
        .axis_stop = [](void*, wl_pointer*, quint32, quint32) {},
        .axis_discrete = [](void*, wl_pointer*, quint32, int32_t) {},
        .axis_value120 = [](void*, wl_pointer*, quint32, int32_t) {},
    };
    m_pointer.reset(wl_seat_get_pointer(m_seat.get()));
    wl_pointer_add_listener(m_pointer.get(), &listener, this);
}

void WaylandInputDevices::createCornerSurface()
{
    if (!m_compositor || !m_shm || !m_layerShell || !m_output)
        return;
    m_cornerSurface.reset(wl_compositor_create_surface(m_compositor.get()));
    m_cornerLayer.reset(zwlr_layer_shell_v1_get_layer_surface(m_layerShell.get(), m_cornerSurface.get(),
        m_output.get(), ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "tollgate-corner"));
    static const zwlr_layer_surface_v1_listener listener = {
        .configure =
            [](void* data, zwlr_layer_surface_v1* layer, quint32 serial, quint32 width, quint32 height) {
                auto* self = static_cast<WaylandInputDevices*>(data);
                zwlr_layer_surface_v1_ack_configure(layer, serial);
                self->attachCornerBuffer(
                    width ? int(width) : CornerSurfaceSize, height ? int(height) : CornerSurfaceSize);
            },
        .closed =
            [](void* data, zwlr_layer_surface_v1*) {
                // The compositor took it away (its output went); the gesture is gone with it.
                auto* self = static_cast<WaylandInputDevices*>(data);
                self->m_cornerClosed = true;
                self->m_cornerMapped = false;
            },
    };
    zwlr_layer_surface_v1_add_listener(m_cornerLayer.get(), &listener, this);
    zwlr_layer_surface_v1_set_size(m_cornerLayer.get(), CornerSurfaceSize, CornerSurfaceSize);
    zwlr_layer_surface_v1_set_anchor(
        m_cornerLayer.get(), ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    // In the very corner, even where a panel reserves the screen's edge.
    zwlr_layer_surface_v1_set_exclusive_zone(m_cornerLayer.get(), -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        m_cornerLayer.get(), ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    wl_surface_commit(m_cornerSurface.get());
}

void WaylandInputDevices::attachCornerBuffer(int width, int height)
{
    // All zero ARGB pixels: fully transparent, but the surface still takes pointer input.
    const int stride = width * 4;
    const int size = stride * height;
    FileDescriptor memory(memfd_create("tollgate-corner", MFD_CLOEXEC));
    if (!memory.isValid() || ftruncate(memory.get(), size) != 0)
        return;
    WaylandObject<wl_shm_pool> pool(wl_shm_create_pool(m_shm.get(), memory.get(), size), wl_shm_pool_destroy);
    m_cornerBuffer.reset(
        wl_shm_pool_create_buffer(pool.get(), 0, width, height, stride, WL_SHM_FORMAT_ARGB8888));
    wl_surface_attach(m_cornerSurface.get(), m_cornerBuffer.get(), 0, 0);
    wl_surface_damage(m_cornerSurface.get(), 0, 0, width, height);
    wl_surface_commit(m_cornerSurface.get());
    m_cornerMapped = true;
}

QPoint WaylandInputDevices::cursorPosition()
{
    m_connection->dispatch();
    rebuildCornerAfterOutputChange();
    if (m_cornerEntered) {
        m_cornerEntered = false;
        const QSize screen = primaryScreenSize();
        return QPoint(screen.width() - 1, screen.height() - 1);
    }
    return m_restingPosition;
}

bool WaylandInputDevices::setCursorPosition(QPoint position)
{
    // No client may move the pointer; what we answer moves, so that the next position
    // differs from the corner the way it does after a real warp.
    m_restingPosition = position;
    return false;
}

QSize WaylandInputDevices::primaryScreenSize()
{
    if (m_outputPixels.isEmpty())
        return QSize();
    return m_outputPixels / m_outputScale;
}

bool WaylandInputDevices::keyActive(int virtualKey)
{
    if (virtualKey < FirstPolledKey || virtualKey > LastPolledKey)
        return false;
    // Without an idle protocol (or compositor) the user always counts as active: no false
    // timeouts.
    m_connection->dispatch();
    if ((!m_idleNotification && !m_kdeIdleTimeout) || m_connection->hasError())
        return true;
    const bool active = !m_idle || m_resumedSinceQuery;
    m_resumedSinceQuery = false;
    return active;
}

QList<CapabilityStatus> WaylandInputDevices::capabilities()
{
    QList<CapabilityStatus> result;
    if (m_idleNotification)
        result.append({Capability::KeyActivity, true,
            QStringLiteral("ext-idle-notify, any input within %1 ms").arg(IdleGranularityMs)});
    else if (m_kdeIdleTimeout)
        result.append({Capability::KeyActivity, true,
            QStringLiteral("org_kde_kwin_idle, any input within %1 ms").arg(IdleGranularityMs)});
    else
        result.append({Capability::KeyActivity, false,
            QStringLiteral("the compositor offers no idle protocol: the user always counts as active")});

    if (m_cornerMapped && m_pointer)
        result.append({Capability::Cursor, true,
            QStringLiteral("no pointer position on Wayland; a layer-shell surface reports the corner")});
    else if (m_cornerClosed)
        result.append(
            {Capability::Cursor, false, QStringLiteral("the compositor closed the corner surface")});
    else if (!m_layerShell)
        result.append({Capability::Cursor, false,
            QStringLiteral("the compositor offers no layer-shell: the corner gesture cannot work")});
    else if (!m_pointer)
        result.append({Capability::Cursor, false, QStringLiteral("the seat has no pointer")});
    else
        result.append({Capability::Cursor, false, QStringLiteral("the corner surface was not shown")});

    const QSize size = primaryScreenSize();
    result.append({Capability::ScreenSize, !size.isEmpty(),
        size.isEmpty() ? QStringLiteral("no output")
                       : QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())});
    return result;
}

} // namespace Tollgate::Platform
