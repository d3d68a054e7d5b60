#pragma once

#include <utility>
#include <windows.h>

namespace Tollgate::Platform {

// Owns one Win32 handle and closes it once. Traits name the handle type, its closing
// function and which values mean "no handle" (some functions fail with null, others
// with INVALID_HANDLE_VALUE).
template<typename Traits> class Win32Handle
{
public:
    using Type = typename Traits::Type;

    Win32Handle() = default;
    explicit Win32Handle(Type handle)
        : m_handle(handle)
    { }
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;
    Win32Handle(Win32Handle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, Type {}))
    { }
    Win32Handle& operator=(Win32Handle&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_handle, Type {}));
        return *this;
    }
    ~Win32Handle() { reset(); }

    Type get() const { return m_handle; }
    bool isValid() const { return Traits::isValid(m_handle); }
    explicit operator bool() const { return isValid(); }

    void reset(Type handle = Type {})
    {
        if (Traits::isValid(m_handle))
            Traits::close(m_handle);
        m_handle = handle;
    }
    // For functions that hand a new handle out through a pointer.
    Type* receive()
    {
        reset();
        return &m_handle;
    }

private:
    Type m_handle {};
};

struct KernelHandleTraits
{
    using Type = HANDLE;
    static bool isValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { ::CloseHandle(h); }
};

// Only keys that were opened or created: the predefined roots are never closed.
struct RegistryKeyTraits
{
    using Type = HKEY;
    static bool isValid(HKEY h) { return h != nullptr; }
    static void close(HKEY h) { ::RegCloseKey(h); }
};

struct EventSourceTraits
{
    using Type = HANDLE;
    static bool isValid(HANDLE h) { return h != nullptr; }
    static void close(HANDLE h) { ::DeregisterEventSource(h); }
};

struct WinEventHookTraits
{
    using Type = HWINEVENTHOOK;
    static bool isValid(HWINEVENTHOOK h) { return h != nullptr; }
    static void close(HWINEVENTHOOK h) { ::UnhookWinEvent(h); }
};

using KernelHandle = Win32Handle<KernelHandleTraits>;
using RegistryKey = Win32Handle<RegistryKeyTraits>;
using EventSource = Win32Handle<EventSourceTraits>;
using WinEventHook = Win32Handle<WinEventHookTraits>;

} // namespace Tollgate::Platform
