#pragma once

#include "platform/PlatformTypes.h"

class QWidget;

namespace Tollgate::Platform {
class WindowSystem;
}

namespace Tollgate {

// Puts one of our own windows into the desktop's always-on-top band, so that it stays in
// front of the windows the survey watches. Called each time the window becomes active.
void SetTopMost(QWidget& window, Platform::WindowSystem& windows);

// Our windows on screen now, as a desktop that does not name a window's process knows them.
Platform::OwnWindows ShownOwnWindows();

} // namespace Tollgate
