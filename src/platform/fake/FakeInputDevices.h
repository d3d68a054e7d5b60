#pragma once

#include "platform/InputDevices.h"

#include <bitset>

namespace Tollgate::Platform {

// Mouse and keyboard that a test drives, with a record of the cursor moves asked for.
class FakeInputDevices : public InputDevices
{
public:
    // The user moving the mouse; not recorded, but reported as a change.
    void moveCursor(QPoint position)
    {
        m_cursor = position;
        reportChange();
    }
    void setScreenSize(QSize size) { m_screen = size; }
    // A key pressed and released since the last query.
    void pressKey(int virtualKey);
    void setKeyDown(int virtualKey, bool down);

    const QList<QPoint>& cursorMoves() const { return m_cursorMoves; }

    QPoint cursorPosition() override { return m_cursor; }
    bool setCursorPosition(QPoint position) override;
    QSize primaryScreenSize() override { return m_screen; }
    bool keyActive(int virtualKey) override;
    QList<CapabilityStatus> capabilities() override;

private:
    QPoint m_cursor;
    QSize m_screen = QSize(1024, 768);
    std::bitset<256> m_down;
    std::bitset<256> m_pressed;
    QList<QPoint> m_cursorMoves;
};

} // namespace Tollgate::Platform
