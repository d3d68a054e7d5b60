#include "Win32Service.h"

#include "Win32Handle.h"

#include <thread>
#include <vector>

namespace Tollgate::Platform {

namespace {

    // The service manager calls the service's main function without a context, so the one
    // service this process runs is found here; it lives for the length of run().
    struct Running
    {
        std::wstring name;
        std::function<void()> stopRequested;
        SERVICE_STATUS_HANDLE status = nullptr;
        KernelHandle decided {::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        KernelHandle bodyEnded {::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        bool running = false;
        DWORD exitCode = 0;
    };
    Running* running = nullptr;

    void report(DWORD state, DWORD exitCode = 0)
    {
        SERVICE_STATUS status {};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted
            = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = exitCode;
        status.dwWaitHint = state == SERVICE_STOP_PENDING ? 10000 : 0;
        ::SetServiceStatus(running->status, &status);
    }

    DWORD WINAPI control(DWORD code, DWORD, void*, void*)
    {
        if (code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN) {
            report(SERVICE_STOP_PENDING);
            running->stopRequested();
        }
        return NO_ERROR;
    }

    void WINAPI serviceMain(DWORD, wchar_t**)
    {
        running->status = ::RegisterServiceCtrlHandlerExW(running->name.c_str(), control, nullptr);
        running->running = running->status != nullptr;
        if (running->running)
            report(SERVICE_RUNNING);
        ::SetEvent(running->decided.get());
        if (!running->running)
            return;
        ::WaitForSingleObject(running->bodyEnded.get(), INFINITE);
        // A guard that ends other than through the manager is started again by it
        // (the installer's failure actions): a nonzero code tells it so.
        report(SERVICE_STOPPED, running->exitCode);
    }

    struct ServiceHandleTraits
    {
        using Type = SC_HANDLE;
        static bool isValid(SC_HANDLE h) { return h != nullptr; }
        static void close(SC_HANDLE h) { ::CloseServiceHandle(h); }
    };
    using ServiceHandle = Win32Handle<ServiceHandleTraits>;

    const wchar_t* wide(const QString& text)
    {
        return reinterpret_cast<const wchar_t*>(text.utf16());
    }

    bool failed(const char* what, QString& why)
    {
        why = QStringLiteral("%1 failed with error %2").arg(QLatin1String(what)).arg(::GetLastError());
        return false;
    }

    // Asks a running service to stop and waits for it, at most a few seconds.
    void stopService(SC_HANDLE service)
    {
        SERVICE_STATUS status {};
        if (!::ControlService(service, SERVICE_CONTROL_STOP, &status))
            return;
        for (int i = 0;
             i < 100 && ::QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
             ++i)
            ::Sleep(100);
    }

} // namespace

bool Win32Service::install(const QString& name, const QString& displayName, const QString& description,
    const QString& program, QString& why)
{
    const ServiceHandle manager(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT));
    if (!manager)
        return failed("OpenSCManager", why);
    const QString command = u'"' + QString(program).replace(u'/', u'\\') + u'"';
    ServiceHandle service(::CreateServiceW(manager.get(), wide(name), wide(displayName), SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, wide(command), nullptr, nullptr,
        nullptr, nullptr, nullptr));
    if (!service && ::GetLastError() == ERROR_SERVICE_EXISTS) {
        service.reset(::OpenServiceW(manager.get(), wide(name), SERVICE_ALL_ACCESS));
        if (!service)
            return failed("OpenService", why);
        stopService(service.get());
        if (!::ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                SERVICE_ERROR_NORMAL, wide(command), nullptr, nullptr, nullptr, L"LocalSystem", nullptr,
                wide(displayName)))
            return failed("ChangeServiceConfig", why);
    }
    if (!service)
        return failed("CreateService", why);
    std::wstring text = description.toStdWString();
    SERVICE_DESCRIPTIONW describe {text.data()};
    ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &describe);
    // Started again a second after each failure; the count of failures resets after a day.
    SC_ACTION actions[] = {{SC_ACTION_RESTART, 1000}, {SC_ACTION_RESTART, 1000}, {SC_ACTION_RESTART, 1000}};
    SERVICE_FAILURE_ACTIONSW failure {};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = DWORD(std::size(actions));
    failure.lpsaActions = actions;
    ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
    // The manager's database is locked for a moment while it starts other services.
    for (int attempt = 0;; ++attempt) {
        if (::StartServiceW(service.get(), 0, nullptr) || ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING)
            return true;
        if (::GetLastError() != ERROR_SERVICE_DATABASE_LOCKED || attempt == 50)
            return failed("StartService", why);
        ::Sleep(200);
    }
}

bool Win32Service::remove(const QString& name, QString& why)
{
    const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return failed("OpenSCManager", why);
    const ServiceHandle service(
        ::OpenServiceW(manager.get(), wide(name), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service)
        return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST || failed("OpenService", why);
    stopService(service.get());
    return ::DeleteService(service.get()) || failed("DeleteService", why);
}

bool Win32Service::run(const QString& name, const std::function<int()>& body,
    std::function<void()> stopRequested, int& result, QString& why)
{
    Running state;
    state.name = name.toStdWString();
    state.stopRequested = std::move(stopRequested);
    running = &state;
    DWORD dispatcherError = 0;
    // The dispatcher keeps its thread until the service has stopped; the body needs the
    // main thread, which Qt's event loop runs on.
    std::thread dispatcher([&] {
        SERVICE_TABLE_ENTRYW table[] = {{state.name.data(), serviceMain}, {nullptr, nullptr}};
        if (!::StartServiceCtrlDispatcherW(table))
            dispatcherError = ::GetLastError();
        ::SetEvent(state.decided.get());
    });
    ::WaitForSingleObject(state.decided.get(), INFINITE);
    if (state.running) {
        result = body();
        state.exitCode = DWORD(result);
    } else {
        why = dispatcherError == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
            ? QStringLiteral("not started by the service manager")
            : QStringLiteral("the service manager did not take the service (error %1)").arg(dispatcherError);
    }
    ::SetEvent(state.bodyEnded.get());
    dispatcher.join();
    running = nullptr;
    return state.running;
}

} // namespace Tollgate::Platform
