#include "FakeWindowSystem.h"

#include <algorithm>

namespace Tollgate::Platform {

WindowId FakeWindowSystem::addWindow(const QString& title, ProcessId pid, bool ownedPopup)
{
    const WindowId id = m_nextId++;
    // New windows open above everything but the topmost band.
    const auto firstNormal
        = std::find_if(m_windows.begin(), m_windows.end(), [](const Window& w) { return !w.topMost; });
    m_windows.insert(firstNormal, {id, title, pid, ownedPopup, false});
    reportChange();
    return id;
}

void FakeWindowSystem::removeWindow(WindowId window)
{
    m_windows.removeIf([window](const Window& w) { return w.id == window; });
    if (m_foreground == window)
        m_foreground = 0;
    reportChange();
}

void FakeWindowSystem::setForegroundWindow(WindowId window)
{
    m_foreground = window;
    reportChange();
}

void FakeWindowSystem::removeWindowsOf(ProcessId pid)
{
    for (const Window& window : QList<Window>(m_windows)) {
        if (window.pid == pid)
            removeWindow(window.id);
    }
}

void FakeWindowSystem::setWindowTitle(WindowId window, const QString& title)
{
    for (Window& w : m_windows) {
        if (w.id == window)
            w.title = title;
    }
    reportChange();
}

bool FakeWindowSystem::isTopMost(WindowId window) const
{
    const Window* w = find(window);
    return w && w->topMost;
}

const FakeWindowSystem::Window* FakeWindowSystem::find(WindowId window) const
{
    const auto it = std::find_if(
        m_windows.begin(), m_windows.end(), [window](const Window& w) { return w.id == window; });
    return it == m_windows.end() ? nullptr : &*it;
}

QString FakeWindowSystem::windowTitle(WindowId window)
{
    const Window* w = find(window);
    return w ? w->title.left(MaxTitleLength) : QString();
}

bool FakeWindowSystem::postCloseRequest(WindowId window)
{
    m_closeRequests.append(window);
    return find(window) != nullptr;
}

qint32 FakeWindowSystem::setTopMost(WindowId window, bool onTop)
{
    m_topMostCalls.append({window, onTop});
    const auto it = std::find_if(
        m_windows.begin(), m_windows.end(), [window](const Window& w) { return w.id == window; });
    if (it == m_windows.end())
        return 0;
    Window moved = *it;
    m_windows.erase(it);
    moved.topMost = onTop;
    const auto firstNormal
        = std::find_if(m_windows.begin(), m_windows.end(), [](const Window& w) { return !w.topMost; });
    m_windows.insert(onTop ? m_windows.begin() : firstNormal, moved);
    return onTop ? 1 : 0;
}

QList<TopLevelWindow> FakeWindowSystem::topLevelWindows()
{
    QList<TopLevelWindow> result;
    for (const Window& w : std::as_const(m_windows))
        result.append({w.id, w.ownedPopup});
    return result;
}

ProcessId FakeWindowSystem::windowProcessId(WindowId window)
{
    const Window* w = find(window);
    return w ? w->pid : 0;
}

QList<CapabilityStatus> FakeWindowSystem::capabilities()
{
    QList<CapabilityStatus> result;
    for (const Capability capability : {Capability::ForegroundWindow, Capability::WindowTitles,
             Capability::CloseRequests, Capability::TopMost, Capability::WindowProcessIds})
        result.append({capability, true, QStringLiteral("fake")});
    return result;
}

} // namespace Tollgate::Platform
