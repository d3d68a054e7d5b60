#pragma once

#include <QString>
#include <functional>

namespace Tollgate::Platform {

// A program run by the service control manager: it reports itself running, runs its body
// on the calling thread, and asks the body to end when the manager stops the service or
// the system shuts down.
class Win32Service
{
public:
    // Runs body as the service `name` and returns its result; false, with the reason, when
    // the program was not started by the service manager. stopRequested is called from the
    // manager's thread.
    static bool run(const QString& name, const std::function<int()>& body,
        std::function<void()> stopRequested, int& result, QString& why);

    // Registers the service to start with Windows as LocalSystem, started again by the
    // manager when it fails, and starts it. An installed one is changed and started again.
    static bool install(const QString& name, const QString& displayName, const QString& description,
        const QString& program, QString& why);
    // Stops the service, waiting for it a few seconds, and removes it.
    static bool remove(const QString& name, QString& why);
};

} // namespace Tollgate::Platform
