#pragma once

#include "platform/PlatformTypes.h"

#include <QString>
#include <functional>
#include <memory>
#include <thread>

namespace Tollgate::Platform {

// Process starts as Windows reports them to administrators: a real-time Event Tracing
// session with the kernel's process provider. The handler runs on the session's own
// thread, with the new process's id, while the process is still starting.
class Win32ProcessStarts
{
public:
    using Handler = std::function<void(ProcessId)>;

    explicit Win32ProcessStarts(Handler handler);
    ~Win32ProcessStarts();
    Win32ProcessStarts(const Win32ProcessStarts&) = delete;
    Win32ProcessStarts& operator=(const Win32ProcessStarts&) = delete;

    // False, with the reason, when the system reports no starts to this process.
    bool start(QString& why);
    void stop();

private:
    struct Session;
    Handler m_handler;
    std::unique_ptr<Session> m_session;
    std::thread m_thread;
};

} // namespace Tollgate::Platform
