#pragma once

#include "WaylandConnection.h"
#include "platform/InputDevices.h"
#include "platform/linux/FileDescriptor.h"

struct wl_seat;
struct wl_pointer;
struct wl_output;
struct wl_compositor;
struct wl_shm;
struct wl_shm_pool;
struct wl_buffer;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;

namespace Tollgate::Platform {

// Wayland tells no client where the pointer is or which keys are down. Activity comes from
// the compositor's idle protocol instead: the user counts as active until IdleGranularityMs
// pass without input. The corner gesture comes from a small transparent layer-shell
// surface in the bottom-right corner of the primary output (the first the compositor lists;
// the surface follows when that output goes): when the pointer enters it, cursorPosition()
// answers a position inside the corner once.
class WaylandInputDevices : public InputDevices
{
public:
    static constexpr int IdleGranularityMs = 1000;
    static constexpr int CornerSurfaceSize = 10;
    // About five seconds of survey ticks.
    static constexpr int CornerRetryQueries = 100;

    explicit WaylandInputDevices(std::shared_ptr<WaylandConnection> connection);
    ~WaylandInputDevices() override;

    QPoint cursorPosition() override;
    bool setCursorPosition(QPoint position) override;
    QSize primaryScreenSize() override;
    bool keyActive(int virtualKey) override;
    QList<CapabilityStatus> capabilities() override;

    // Whether the corner surface is on screen (the compositor has configured it).
    bool cornerSurfaceMapped() const { return m_cornerMapped; }

private:
    void bindOutput();
    void rebuildCornerAfterOutputChange();
    void createIdleNotification();
    void createCornerSurface();
    void attachCornerBuffer(int width, int height);
    void updatePointer(quint32 seatCapabilities);
    void setIdle(bool idle);

    std::shared_ptr<WaylandConnection> m_connection;
    WaylandObject<wl_seat> m_seat;
    WaylandObject<wl_pointer> m_pointer;
    WaylandObject<wl_output> m_output;
    WaylandObject<wl_compositor> m_compositor;
    WaylandObject<wl_shm> m_shm;
    WaylandObject<zwlr_layer_shell_v1> m_layerShell;
    WaylandObject<wl_surface> m_cornerSurface;
    WaylandObject<zwlr_layer_surface_v1> m_cornerLayer;
    WaylandObject<wl_buffer> m_cornerBuffer;
    WaylandObject<ext_idle_notifier_v1> m_idleNotifier;
    WaylandObject<ext_idle_notification_v1> m_idleNotification;
    WaylandObject<org_kde_kwin_idle> m_kdeIdle;
    WaylandObject<org_kde_kwin_idle_timeout> m_kdeIdleTimeout;

    quint32 m_outputName = 0; // the compositor's name of the output global m_output binds
    int m_cornerRetryCount = 0;
    QSize m_outputPixels;
    int m_outputScale = 1;
    QPoint m_restingPosition;
    bool m_cornerEntered = false;
    bool m_cornerMapped = false;
    bool m_cornerClosed = false;
    bool m_idle = false;
    bool m_resumedSinceQuery = false;
};

} // namespace Tollgate::Platform
