#include "WindowPlacement.h"

#include "platform/WindowSystem.h"

#include <QWidget>

namespace Tollgate {

void SetTopMost(QWidget& window, Platform::WindowSystem& windows)
{
    windows.setTopMost(static_cast<Platform::WindowId>(window.winId()), true);
}

} // namespace Tollgate
