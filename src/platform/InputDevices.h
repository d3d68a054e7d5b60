#pragma once

#include "ChangeSource.h"
#include "PlatformTypes.h"

#include <QPoint>
#include <QSize>

namespace Tollgate::Platform {

// Mouse and keyboard, read by idle detection and the administrator's corner gesture.
// Reports a change when the pointer moved.
class InputDevices : public ChangeSource
{
public:
    virtual ~InputDevices() = default;

    virtual QPoint cursorPosition() = 0;
    virtual bool setCursorPosition(QPoint position) = 0;
    // The primary screen's size in pixels.
    virtual QSize primaryScreenSize() = 0;
    // Whether the key with this virtual-key code is down now or was pressed since the
    // previous query of the same key. Only FirstPolledKey to LastPolledKey are tracked.
    virtual bool keyActive(int virtualKey) = 0;

    virtual QList<CapabilityStatus> capabilities() = 0;

    static constexpr int FirstPolledKey = 0x24;
    static constexpr int LastPolledKey = 0x7E;
};

} // namespace Tollgate::Platform
