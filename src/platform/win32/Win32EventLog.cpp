#include "Win32EventLog.h"

namespace Tollgate::Platform {

Win32EventLog::Win32EventLog()
    : m_source(::RegisterEventSourceW(nullptr, SourceName))
{
    m_sinceAttempt.start();
}

void Win32EventLog::write(Priority priority, const QString& message, const SystemLogFields& fields)
{
    // A stopped event log service is asked again now and then, not for every message.
    if (!m_source) {
        if (m_sinceAttempt.elapsed() < RetryIntervalMs)
            return;
        m_source.reset(::RegisterEventSourceW(nullptr, SourceName));
        m_sinceAttempt.start();
        if (!m_source)
            return;
    }
    QString text = message.left(MaxMessageLength);
    if (!text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);
    const WORD type = priority == Priority::Warning ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE;
    const wchar_t* strings[] = {reinterpret_cast<const wchar_t*>(text.utf16())};
    const DWORD id = fields.messageId == SystemLogMessageId::Tamper ? TamperEventId
        : fields.messageId == SystemLogMessageId::Ended             ? EndedEventId
                                                                    : EventId;
    ::ReportEventW(m_source.get(), type, 0, id, nullptr, 1, 0, strings, nullptr);
}

} // namespace Tollgate::Platform
