#include "Win32ProcessStarts.h"

#include "Win32Handle.h" // windows.h, before the tracing headers

#include <cstring>
#include <evntcons.h>
#include <evntrace.h>
#include <vector>

namespace Tollgate::Platform {

namespace {

    // Microsoft-Windows-Kernel-Process, its process keyword and its ProcessStart event.
    constexpr GUID KernelProcessProvider
        = {0x22fb2cd6, 0x0e7b, 0x422b, {0xa0, 0xc7, 0x2f, 0xad, 0x1f, 0xd0, 0xe7, 0x16}};
    constexpr ULONGLONG ProcessKeyword = 0x10;
    constexpr USHORT ProcessStartEvent = 1;
    constexpr wchar_t SessionName[] = L"Tollgate Guard process starts";
    // Buffers are handed over at once when this flag asks for the flush timer in milliseconds.
    constexpr ULONG UseMillisecondFlushTimer = 0x10;
    constexpr ULONG FlushMs = 10;

    struct Properties
    {
        std::vector<char> bytes
            = std::vector<char>(sizeof(EVENT_TRACE_PROPERTIES) + sizeof(SessionName) + 16);
        EVENT_TRACE_PROPERTIES* get() { return reinterpret_cast<EVENT_TRACE_PROPERTIES*>(bytes.data()); }
        Properties()
        {
            get()->Wnode.BufferSize = ULONG(bytes.size());
            get()->Wnode.Flags = WNODE_FLAG_TRACED_GUID;
            get()->Wnode.ClientContext = 1; // performance-counter time stamps
            get()->LogFileMode = EVENT_TRACE_REAL_TIME_MODE | UseMillisecondFlushTimer;
            get()->FlushTimer = FlushMs;
            get()->BufferSize = 4; // kilobytes: few events, handed over soon
            get()->LoggerNameOffset = sizeof(EVENT_TRACE_PROPERTIES);
        }
    };

    void WINAPI onEvent(EVENT_RECORD* record)
    {
        // The event's first field is the new process's id; anything shorter is not this event.
        if (!record->UserContext || record->EventHeader.EventDescriptor.Id != ProcessStartEvent
            || !IsEqualGUID(record->EventHeader.ProviderId, KernelProcessProvider)
            || record->UserDataLength < 4)
            return;
        quint32 pid = 0;
        std::memcpy(&pid, record->UserData, sizeof pid);
        (*static_cast<Win32ProcessStarts::Handler*>(record->UserContext))(pid);
    }

} // namespace

struct Win32ProcessStarts::Session
{
    TRACEHANDLE control = 0;
    TRACEHANDLE consumer = INVALID_PROCESSTRACE_HANDLE;
};

Win32ProcessStarts::Win32ProcessStarts(Handler handler)
    : m_handler(std::move(handler))
{ }

Win32ProcessStarts::~Win32ProcessStarts()
{
    stop();
}

bool Win32ProcessStarts::start(QString& why)
{
    const auto failed = [&](const char* what, ULONG code) {
        why = QStringLiteral("%1 failed with error %2").arg(QLatin1String(what)).arg(code);
        stop();
        return false;
    };
    auto session = std::make_unique<Session>();
    // A session of that name left by a guard that did not end cleanly.
    Properties old;
    ::ControlTraceW(0, SessionName, old.get(), EVENT_TRACE_CONTROL_STOP);
    Properties properties;
    ULONG status = ::StartTraceW(&session->control, SessionName, properties.get());
    m_session = std::move(session);
    if (status != ERROR_SUCCESS)
        return failed("StartTrace", status);
    status = ::EnableTraceEx2(m_session->control, &KernelProcessProvider, EVENT_CONTROL_CODE_ENABLE_PROVIDER,
        TRACE_LEVEL_INFORMATION, ProcessKeyword, 0, 0, nullptr);
    if (status != ERROR_SUCCESS)
        return failed("EnableTraceEx2", status);
    EVENT_TRACE_LOGFILEW log {};
    std::wstring name(SessionName);
    log.LoggerName = name.data();
    log.ProcessTraceMode = PROCESS_TRACE_MODE_REAL_TIME | PROCESS_TRACE_MODE_EVENT_RECORD;
    log.EventRecordCallback = onEvent;
    log.Context = &m_handler;
    m_session->consumer = ::OpenTraceW(&log);
    if (m_session->consumer == INVALID_PROCESSTRACE_HANDLE)
        return failed("OpenTrace", ::GetLastError());
    const TRACEHANDLE consumer = m_session->consumer;
    m_thread = std::thread([consumer] {
        TRACEHANDLE handles[] = {consumer};
        ::ProcessTrace(handles, 1, nullptr, nullptr);
    });
    return true;
}

void Win32ProcessStarts::stop()
{
    if (!m_session)
        return;
    if (m_session->control) {
        Properties properties;
        ::ControlTraceW(m_session->control, nullptr, properties.get(), EVENT_TRACE_CONTROL_STOP);
    }
    if (m_session->consumer != INVALID_PROCESSTRACE_HANDLE)
        ::CloseTrace(m_session->consumer);
    if (m_thread.joinable())
        m_thread.join();
    m_session.reset();
}

} // namespace Tollgate::Platform
