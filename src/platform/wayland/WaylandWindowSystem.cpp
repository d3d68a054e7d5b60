#include "WaylandWindowSystem.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <utility>
#include <wayland-client.h>

namespace Tollgate::Platform {

namespace {
    void destroyHandle(zwlr_foreign_toplevel_handle_v1* handle)
    {
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    }
    void stopManager(zwlr_foreign_toplevel_manager_v1* manager)
    {
        // stop only asks; the compositor answers with finished, which nobody waits for here.
        zwlr_foreign_toplevel_manager_v1_stop(manager);
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager));
    }
    void releaseSeat(wl_seat* seat)
    {
        if (wl_seat_get_version(seat) >= WL_SEAT_RELEASE_SINCE_VERSION)
            wl_seat_release(seat);
        else
            wl_seat_destroy(seat);
    }
} // namespace

WaylandWindowSystem::WaylandWindowSystem(
    std::shared_ptr<WaylandConnection> connection, const QString& swaySocket)
    : m_connection(std::move(connection))
    , m_manager(reinterpret_cast<zwlr_foreign_toplevel_manager_v1*>(
                    m_connection->bind(&zwlr_foreign_toplevel_manager_v1_interface, 3)),
          stopManager)
    , m_seat(reinterpret_cast<wl_seat*>(m_connection->bind(&wl_seat_interface, 5)), releaseSeat)
    , m_sway(swaySocket)
{
    if (m_manager) {
        static const zwlr_foreign_toplevel_manager_v1_listener listener = {&onToplevel, &onFinished};
        zwlr_foreign_toplevel_manager_v1_add_listener(m_manager.get(), &listener, this);
        // The compositor lists the existing toplevels at once.
        m_connection->roundTrip();
    }
}

WaylandWindowSystem::~WaylandWindowSystem()
{
    m_toplevels.clear();
    m_manager.reset();
    m_connection->dispatch();
}

bool WaylandWindowSystem::supported(const WaylandConnection& connection)
{
    return connection.hasGlobal(zwlr_foreign_toplevel_manager_v1_interface.name);
}

void WaylandWindowSystem::onToplevel(
    void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle)
{
    static const zwlr_foreign_toplevel_handle_v1_listener listener = {
        .title = &onTitle,
        .app_id = &onAppId,
        .output_enter = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .output_leave = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .state = &onState,
        .done = &onDone,
        .closed = &onClosed,
        .parent = &onParent,
    };
    auto* self = static_cast<WaylandWindowSystem*>(data);
    const WindowId id = self->m_nextId++;
    Toplevel& toplevel
        = self->m_toplevels.emplace(id, Toplevel {{handle, destroyHandle}, id, {}, {}, false, nullptr})
              .first->second;
    zwlr_foreign_toplevel_handle_v1_add_listener(toplevel.handle.get(), &listener, self);
}

void WaylandWindowSystem::onFinished(void* data, zwlr_foreign_toplevel_manager_v1*)
{
    // The compositor no longer reports toplevels; the windows it listed stay until closed.
    Q_UNUSED(data);
}

void WaylandWindowSystem::onTitle(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* title)
{
    auto* self = static_cast<WaylandWindowSystem*>(data);
    if (Toplevel* toplevel = self->find(handle)) {
        toplevel->title = QString::fromUtf8(title);
        // Only the foreground window's title matters to the survey.
        self->m_changePending = self->m_changePending || toplevel->activated;
    }
}

void WaylandWindowSystem::onAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId)
{
    if (Toplevel* toplevel = static_cast<WaylandWindowSystem*>(data)->find(handle))
        toplevel->appId = QString::fromUtf8(appId);
}

void WaylandWindowSystem::onState(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* state)
{
    auto* self = static_cast<WaylandWindowSystem*>(data);
    Toplevel* toplevel = self->find(handle);
    if (!toplevel)
        return;
    bool activated = false;
    const auto* begin = static_cast<const quint32*>(state->data);
    for (const quint32* it = begin; it != begin + state->size / sizeof(quint32); ++it)
        activated = activated || *it == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
    self->m_changePending = self->m_changePending || activated != toplevel->activated;
    toplevel->activated = activated;
    if (activated)
        self->m_lastActivated = toplevel->id;
}

void WaylandWindowSystem::onDone(void* data, zwlr_foreign_toplevel_handle_v1*)
{
    // A toplevel's changes come in a batch that done closes: one report for all of them.
    auto* self = static_cast<WaylandWindowSystem*>(data);
    if (std::exchange(self->m_changePending, false))
        self->reportChange();
}

void WaylandWindowSystem::onClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<WaylandWindowSystem*>(data);
    for (auto& [id, toplevel] : self->m_toplevels) {
        if (toplevel.parent == handle)
            toplevel.parent = nullptr;
    }
    if (Toplevel* toplevel = self->find(handle)) {
        const bool wasForeground = toplevel->activated;
        self->m_toplevels.erase(toplevel->id);
        if (wasForeground)
            self->reportChange();
    }
}

void WaylandWindowSystem::onParent(
    void* data, zwlr_foreign_toplevel_handle_v1* handle, zwlr_foreign_toplevel_handle_v1* parent)
{
    if (Toplevel* toplevel = static_cast<WaylandWindowSystem*>(data)->find(handle))
        toplevel->parent = parent;
}

WaylandWindowSystem::Toplevel* WaylandWindowSystem::find(zwlr_foreign_toplevel_handle_v1* handle)
{
    for (auto& [id, toplevel] : m_toplevels) {
        if (toplevel.handle.get() == handle)
            return &toplevel;
    }
    return nullptr;
}

WaylandWindowSystem::Toplevel* WaylandWindowSystem::find(WindowId window)
{
    const auto it = m_toplevels.find(window);
    return it == m_toplevels.end() ? nullptr : &it->second;
}

bool WaylandWindowSystem::refresh()
{
    m_connection->dispatch();
    if (m_connection->hasError()) {
        // The compositor is gone, and with it every window it listed.
        m_toplevels.clear();
        return false;
    }
    return true;
}

WindowId WaylandWindowSystem::foregroundWindow()
{
    if (!refresh())
        return 0;
    // Normally one window is activated; when several claim it, the latest one counts.
    const Toplevel* latest = find(m_lastActivated);
    if (latest && latest->activated)
        return latest->id;
    for (const auto& [id, toplevel] : m_toplevels) {
        if (toplevel.activated)
            return id;
    }
    return 0;
}

QString WaylandWindowSystem::windowTitle(WindowId window)
{
    const Toplevel* toplevel = find(window);
    return toplevel ? toplevel->title.left(MaxTitleLength) : QString();
}

bool WaylandWindowSystem::postCloseRequest(WindowId window)
{
    Toplevel* toplevel = find(window);
    if (!toplevel || m_connection->hasError())
        return false;
    zwlr_foreign_toplevel_handle_v1_close(toplevel->handle.get());
    m_connection->dispatch();
    return true;
}

bool WaylandWindowSystem::activate(WindowId window)
{
    Toplevel* toplevel = find(window);
    if (!toplevel || !m_seat || m_connection->hasError())
        return false;
    zwlr_foreign_toplevel_handle_v1_activate(toplevel->handle.get(), m_seat.get());
    m_connection->dispatch();
    return true;
}

qint32 WaylandWindowSystem::setTopMost(WindowId, bool)
{
    // The protocol has no always-on-top state.
    return 0;
}

QList<TopLevelWindow> WaylandWindowSystem::topLevelWindows()
{
    if (!refresh())
        return {};
    // No stacking order is published: the foreground window first, then newest first.
    QList<TopLevelWindow> result;
    const WindowId foreground = foregroundWindow();
    if (foreground)
        result.append({foreground, find(foreground)->parent != nullptr});
    for (auto it = m_toplevels.rbegin(); it != m_toplevels.rend(); ++it) {
        if (it->first != foreground)
            result.append({it->first, it->second.parent != nullptr});
    }
    return result;
}

ProcessId WaylandWindowSystem::windowProcessId(WindowId window)
{
    m_connection->dispatch();
    Toplevel* toplevel = find(window);
    if (!toplevel || !m_sway.isAvailable())
        return 0;
    // A window keeps its process; ask sway once.
    if (!toplevel->pid)
        toplevel->pid
            = SwayIpc::findProcessId(m_sway.tree(), toplevel->appId, toplevel->title, toplevel->activated);
    return toplevel->pid;
}

bool WaylandWindowSystem::isOwnWindow(WindowId window, const OwnWindows& own)
{
    if (const ProcessId pid = windowProcessId(window))
        return pid == ProcessId(QCoreApplication::applicationPid());
    // Nothing names the process: a window with our app id is ours when it has the title of
    // one we show, not merely our app id, which any program may claim. The compositor can
    // still show a title we have just changed, so the titles of the last call count too, and
    // a window once known as ours stays ours.
    Toplevel* toplevel = find(window);
    if (toplevel && !own.appId.isEmpty() && toplevel->appId == own.appId)
        toplevel->own = toplevel->own || own.titles.contains(toplevel->title)
            || m_lastOwnTitles.contains(toplevel->title);
    m_lastOwnTitles = own.titles;
    return toplevel && toplevel->own;
}

QList<CapabilityStatus> WaylandWindowSystem::capabilities()
{
    const bool manager = m_manager != nullptr && refresh();
    const QString missing = m_connection->hasError()
        ? QStringLiteral("the connection to the Wayland compositor was lost")
        : QStringLiteral("the compositor does not offer foreign-toplevel-management");
    QList<CapabilityStatus> result;
    result.append({Capability::ForegroundWindow, manager,
        manager ? QStringLiteral("the activated toplevel of foreign-toplevel-management") : missing});
    result.append({Capability::WindowTitles, manager,
        manager ? QStringLiteral("toplevel titles of foreign-toplevel-management") : missing});
    result.append({Capability::CloseRequests, manager,
        manager ? QStringLiteral("close requests of foreign-toplevel-management") : missing});
    result.append({Capability::TopMost, false,
        QStringLiteral("wlroots lets no client keep a window above the others: other windows can cover "
                       "the block message and the password prompt")});
    result.append({Capability::WindowEvents, manager,
        manager ? QStringLiteral("new, closed and activated toplevels and title changes") : missing});
    if (m_sway.isAvailable() && !m_sway.tree().isEmpty())
        result.append({Capability::WindowProcessIds, true,
            QStringLiteral("sway IPC (get_tree), matched by app id and title")});
    else
        result.append({Capability::WindowProcessIds, false,
            QStringLiteral("foreign-toplevel-management names a window's app id, not its process, and "
                           "sway's IPC socket (SWAYSOCK) does not answer; Tollgate's own windows are told "
                           "apart by app id and title")});
    return result;
}

} // namespace Tollgate::Platform
