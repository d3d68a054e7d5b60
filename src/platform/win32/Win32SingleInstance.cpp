#include "Win32SingleInstance.h"

namespace Tollgate::Platform {

Win32SingleInstance::Win32SingleInstance(QString name)
    : m_name(std::move(name))
{ }

bool Win32SingleInstance::otherInstanceRuns()
{
    if (m_mutex)
        return false;
    KernelHandle mutex(::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(m_name.utf16())));
    const DWORD error = ::GetLastError();
    // An object of that name we may not open (made by an elevated process, or by another
    // user in this session) leaves the claim unchecked: it counts as free.
    if (!mutex)
        return false;
    if (error == ERROR_ALREADY_EXISTS)
        return true;
    m_mutex = std::move(mutex);
    return false;
}

} // namespace Tollgate::Platform
