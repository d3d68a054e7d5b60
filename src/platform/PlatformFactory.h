#pragma once

#include "Platform.h"
#include "ProgramConventions.h"
#include "SingleInstance.h"
#include "StandardInput.h"

namespace Tollgate::Platform {

// Picks the backends for this session: Wayland windows and input when the compositor offers
// foreign-toplevel-management, KWin's windows through its scripting service (KDE Plasma) with
// the same Wayland input, GNOME Shell's windows, idle time and corner through Tollgate's
// extension, X11 ones when the display is an X server, else the null ones
// that say why window rules cannot work; processes from /proc and the freedesktop.org shell
// either way. On Windows, the Win32 backends and the system's registry.
class PlatformFactory
{
public:
    // Why this process cannot show windows, or empty when it can.
    static QString missingDisplay();
    // Lets the command-line options print where they were typed: a Windows program
    // without a console of its own borrows its caller's.
    static void useCallersConsole();
    // This user's claim to run the program once.
    static std::unique_ptr<SingleInstance> singleInstance();
    // Standard input, read through the event loop (the guard of a guarded start writes there).
    static std::unique_ptr<StandardInput> standardInput();
    // Keeps the user's own account from attaching a debugger to this process or reading its
    // memory; false when the system refused. Does nothing where there is no such setting.
    static bool protectProcess();
    // The system's registry where it has one; null where Tollgate keeps its own files.
    static std::shared_ptr<Registry> systemRegistry();
    // How this system's process table names programs and starts command lines.
    static ProgramConventions programConventions();
    static std::unique_ptr<Platform> create();
    // As create(), for given environment values (tests use this).
    static std::unique_ptr<Platform> create(
        const QString& display, const QString& waylandDisplay, const QString& sessionType);
};

} // namespace Tollgate::Platform
