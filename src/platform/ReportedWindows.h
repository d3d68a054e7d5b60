#pragma once

#include "PlatformTypes.h"

#include <QHash>
#include <map>

namespace Tollgate::Platform {

// The window list that code of ours inside the compositor reports (a KWin script, the GNOME
// Shell extension): a JSON array, topmost first, of {id, caption, pid, active, transient,
// keepAbove}, where id is the compositor's own name for the window. Hands out window ids of
// our own, never reused within a run, so that a survey holding an old id never reaches a
// new window.
class ReportedWindows
{
public:
    // False, with the list unchanged, when the text is no such array.
    bool update(const QByteArray& json);
    void clear();

    WindowId active() const { return m_active; }
    QString title(WindowId window) const;
    ProcessId processId(WindowId window) const;
    bool keptAbove(WindowId window) const;
    // The compositor's name for the window; empty when it is not listed.
    QString compositorId(WindowId window) const;
    // Topmost first; the keep-above band over every other window.
    QList<TopLevelWindow> stacking() const;

private:
    struct Window
    {
        QString compositorId;
        QString caption;
        ProcessId pid = 0;
        bool transient = false;
        bool keepAbove = false;
    };

    std::map<WindowId, Window> m_windows;
    QHash<QString, WindowId> m_ids; // by the compositor's name
    QList<WindowId> m_stacking;
    WindowId m_active = 0;
    WindowId m_nextId = 1;
};

} // namespace Tollgate::Platform
