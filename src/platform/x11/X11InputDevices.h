#pragma once

#include "KeyTable.h"
#include "X11Connection.h"
#include "platform/InputDevices.h"

#include <QElapsedTimer>
#include <bitset>

namespace Tollgate::Platform {

// Pointer and screen from the core protocol and RandR; keys and pointer motion from
// XInput 2 raw events on the root window, which arrive without a grab and even while
// another client grabs the keyboard. With raw motion the pointer is asked for only after
// it moved, and each move is reported as a change. The screen size is kept from RandR's
// events and asked for afresh at least every ScreenSizeMaxAgeMs.
class X11InputDevices : public InputDevices
{
public:
    explicit X11InputDevices(std::shared_ptr<X11Connection> connection);

    QPoint cursorPosition() override;
    bool setCursorPosition(QPoint position) override;
    QSize primaryScreenSize() override;
    bool keyActive(int virtualKey) override;
    QList<CapabilityStatus> capabilities() override;

    // How long a pointer position seen before stays good without raw motion.
    static constexpr qint64 CursorMaxAgeMs = 1000;
    static constexpr qint64 ScreenSizeMaxAgeMs = 1000;

private:
    void handleEvent(const xcb_generic_event_t& event);
    void rebuildKeyTable();
    QSize askScreenSize() const;

    std::shared_ptr<X11Connection> m_connection;
    KeyTable m_keys;
    std::bitset<256> m_keycodeDown;
    std::bitset<256> m_pressedSinceQuery; // by virtual key
    bool m_rawKeys = false;
    bool m_rawMotion = false;
    // The pointer as last asked for; asked again once raw motion says it moved.
    QPoint m_cursor;
    bool m_cursorKnown = false;
    QElapsedTimer m_cursorAge;
    quint8 m_randrFirstEvent = 0; // 0: no RandR events
    QSize m_screenSize; // empty: to be asked for
    QElapsedTimer m_screenSizeAge;
};

} // namespace Tollgate::Platform
