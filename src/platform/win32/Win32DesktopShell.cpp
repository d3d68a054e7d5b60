#include "Win32DesktopShell.h"

// The shell headers need the types of windows.h.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

namespace Tollgate::Platform {

void Win32DesktopShell::open(const QString& pathOrAddress)
{
    if (pathOrAddress.isEmpty())
        return;
    ::ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t*>(pathOrAddress.utf16()), nullptr,
        nullptr, SW_SHOWNORMAL);
}

void Win32DesktopShell::registerFileType(const FileTypeRegistration& /*registration*/)
{
    // Explorer caches associations and icons until it is told that they changed.
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

} // namespace Tollgate::Platform
