#pragma once

#include <functional>

namespace Tollgate::Platform {

// How a backend says that something the survey reads may have changed (a new foreground
// window, a title, the pointer, a process that started or ended), so that the survey can
// look at once instead of on its next tick. A backend calls reportChange() from its event
// handlers; it may start watching (sockets, timers) only once someone listens, which
// watchChanges() tells it. Reports are only a hint: they may repeat, and the tick still
// comes as a safety net, so a backend that cannot watch simply never reports.
class ChangeSource
{
public:
    virtual ~ChangeSource() = default;

    // Called on the thread of the event loop for every change; an empty handler stops
    // watching.
    void setChangeHandler(std::function<void()> handler)
    {
        const bool wasWatching = bool(m_onChange);
        m_onChange = std::move(handler);
        if (bool(m_onChange) != wasWatching)
            watchChanges(bool(m_onChange));
    }
    bool watchingChanges() const { return bool(m_onChange); }

protected:
    void reportChange() const
    {
        if (m_onChange)
            m_onChange();
    }
    // Starts or stops the backend's watching.
    virtual void watchChanges(bool /*on*/) { }

private:
    std::function<void()> m_onChange;
};

} // namespace Tollgate::Platform
