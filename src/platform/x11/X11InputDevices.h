#pragma once

#include "KeyTable.h"
#include "X11Connection.h"
#include "platform/InputDevices.h"

#include <QSocketNotifier>
#include <bitset>

namespace Tollgate::Platform {

// Pointer and screen from the core protocol and RandR; keys from XInput 2 raw events on
// the root window, which arrive without a grab and even while another client grabs the
// keyboard.
class X11InputDevices : public InputDevices
{
public:
    explicit X11InputDevices(std::shared_ptr<X11Connection> connection);

    QPoint cursorPosition() override;
    bool setCursorPosition(QPoint position) override;
    QSize primaryScreenSize() override;
    bool keyActive(int virtualKey) override;
    QList<CapabilityStatus> capabilities() override;

    // Reads the events that have arrived; also done by every key query.
    void processEvents();

private:
    void rebuildKeyTable();

    std::shared_ptr<X11Connection> m_connection;
    std::unique_ptr<QSocketNotifier> m_notifier;
    KeyTable m_keys;
    std::bitset<256> m_keycodeDown;
    std::bitset<256> m_pressedSinceQuery; // by virtual key
    bool m_rawKeys = false;
};

} // namespace Tollgate::Platform
