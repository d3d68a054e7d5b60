#include "FakeInputDevices.h"

namespace Tollgate::Platform {

void FakeInputDevices::pressKey(int virtualKey)
{
    if (virtualKey >= 0 && virtualKey < 256)
        m_pressed[size_t(virtualKey)] = true;
}

void FakeInputDevices::setKeyDown(int virtualKey, bool down)
{
    if (virtualKey < 0 || virtualKey >= 256)
        return;
    m_down[size_t(virtualKey)] = down;
    if (down)
        m_pressed[size_t(virtualKey)] = true;
}

bool FakeInputDevices::setCursorPosition(QPoint position)
{
    m_cursorMoves.append(position);
    m_cursor = position;
    return true;
}

bool FakeInputDevices::keyActive(int virtualKey)
{
    if (virtualKey < FirstPolledKey || virtualKey > LastPolledKey)
        return false;
    const bool active = m_down[size_t(virtualKey)] || m_pressed[size_t(virtualKey)];
    m_pressed[size_t(virtualKey)] = false;
    return active;
}

QList<CapabilityStatus> FakeInputDevices::capabilities()
{
    return {{Capability::KeyActivity, true, QStringLiteral("fake")},
        {Capability::Cursor, true, QStringLiteral("fake")},
        {Capability::ScreenSize, true, QStringLiteral("fake")}};
}

} // namespace Tollgate::Platform
