#pragma once

#include "ChangeSource.h"
#include "PlatformTypes.h"

#include <QCoreApplication>

namespace Tollgate::Platform {

// The desktop's top-level windows, as the survey and the window placement need them.
// Reports a change when the foreground window or its title may have changed, or a
// top-level window came or went.
class WindowSystem : public ChangeSource
{
public:
    virtual ~WindowSystem() = default;

    // The window the user works in; 0 for none.
    virtual WindowId foregroundWindow() = 0;
    // At most MaxTitleLength characters; empty for a window without a title or no window.
    virtual QString windowTitle(WindowId window) = 0;
    // Asks the window to close, as its close button would; false when nothing could be sent.
    virtual bool postCloseRequest(WindowId window) = 0;
    // Puts the window into the always-on-top band (or takes it out). Non-zero when it was
    // placed; 0 for a handle that is no longer a window, and always 0 when onTop is false.
    virtual qint32 setTopMost(WindowId window, bool onTop) = 0;
    // Every top-level window in z-order, topmost first.
    virtual QList<TopLevelWindow> topLevelWindows() = 0;
    // The process that created the window; 0 when unknown or not a window.
    virtual ProcessId windowProcessId(WindowId window) = 0;
    // Whether this process shows the window. A backend whose desktop does not name every
    // window's process compares the window's app id and title with own instead.
    virtual bool isOwnWindow(WindowId window, const OwnWindows& own)
    {
        Q_UNUSED(own);
        return windowProcessId(window) == ProcessId(QCoreApplication::applicationPid());
    }

    virtual QList<CapabilityStatus> capabilities() = 0;

    static constexpr qsizetype MaxTitleLength = 254;
};

} // namespace Tollgate::Platform
