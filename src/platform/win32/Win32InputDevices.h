#pragma once

#include "platform/InputDevices.h"

namespace Tollgate::Platform {

// Pointer, screen and keys through user32. Keys are read with GetAsyncKeyState, whose
// answer is exactly the "down now or pressed since the last query" the interface asks
// for. Pointer moves are never reported: only a low-level mouse hook would see them, and
// it would sit in the path of every mouse event of the desktop; the survey's tick reads
// the pointer instead.
class Win32InputDevices : public InputDevices
{
public:
    QPoint cursorPosition() override;
    bool setCursorPosition(QPoint position) override;
    QSize primaryScreenSize() override;
    bool keyActive(int virtualKey) override;
    QList<CapabilityStatus> capabilities() override;

private:
    // While the secure desktop (the lock screen, an elevation prompt) is shown the pointer
    // cannot be read; the last known position stands in, so that it does not look moved.
    QPoint m_lastCursor;
};

} // namespace Tollgate::Platform
