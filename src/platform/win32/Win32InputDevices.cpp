#include "Win32InputDevices.h"

#include <windows.h>

namespace Tollgate::Platform {

QPoint Win32InputDevices::cursorPosition()
{
    POINT point {};
    if (::GetCursorPos(&point))
        m_lastCursor = QPoint(point.x, point.y);
    return m_lastCursor;
}

bool Win32InputDevices::setCursorPosition(QPoint position)
{
    return ::SetCursorPos(position.x(), position.y());
}

QSize Win32InputDevices::primaryScreenSize()
{
    return QSize(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
}

bool Win32InputDevices::keyActive(int virtualKey)
{
    if (virtualKey < FirstPolledKey || virtualKey > LastPolledKey)
        return false;
    // The high bit: down now; the low bit: pressed since the previous call.
    const auto state = static_cast<quint16>(::GetAsyncKeyState(virtualKey));
    return (state & 0x8000) != 0 || (state & 0x0001) != 0;
}

QList<CapabilityStatus> Win32InputDevices::capabilities()
{
    QList<CapabilityStatus> result;
    result.append({Capability::KeyActivity, true,
        QStringLiteral(
            "GetAsyncKeyState (not on the secure desktop of the lock screen or an elevation prompt)")});
    result.append({Capability::Cursor, true, QStringLiteral("GetCursorPos and SetCursorPos")});
    const QSize size = primaryScreenSize();
    result.append({Capability::ScreenSize, !size.isEmpty(),
        QStringLiteral("%1 x %2 (primary monitor)").arg(size.width()).arg(size.height())});
    return result;
}

} // namespace Tollgate::Platform
