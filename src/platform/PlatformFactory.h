#pragma once

#include "Platform.h"

namespace Tollgate::Platform {

// Picks the backends for this session: Wayland windows and input when the compositor offers
// foreign-toplevel-management, KWin's windows through its scripting service (KDE Plasma) with
// the same Wayland input, X11 ones when the display is an X server, else the null ones
// that say why window rules cannot work; processes from /proc and the freedesktop.org shell
// either way.
class PlatformFactory
{
public:
    static std::unique_ptr<Platform> create();
    // As create(), for given environment values (tests use this).
    static std::unique_ptr<Platform> create(
        const QString& display, const QString& waylandDisplay, const QString& sessionType);
};

} // namespace Tollgate::Platform
