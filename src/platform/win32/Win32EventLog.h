#pragma once

#include "Win32Handle.h"
#include "platform/SystemLog.h"

#include <QElapsedTimer>

namespace Tollgate::Platform {

// The Application event log, under the event source "Tollgate". The installer registers
// the source; without that, Windows still keeps the text, prefixed with a note that the
// source's descriptions are missing.
class Win32EventLog : public SystemLog
{
public:
    static constexpr const wchar_t* SourceName = L"Tollgate";
    // Every message has one of these event ids; the text is its only insertion string.
    static constexpr DWORD EventId = 1;
    static constexpr DWORD TamperEventId = 2; // the session program ended other than by Quit
    static constexpr DWORD EndedEventId = 3; // the guard ended a blocked program
    // ReportEventW takes strings of up to 31,839 characters; longer messages are cut.
    static constexpr qsizetype MaxMessageLength = 31000;
    // How long after a failed registration the next message tries again.
    static constexpr qint64 RetryIntervalMs = 60000;

    Win32EventLog();

    // The event log has no fields of its own: they are left out, but for the kind of
    // message, which chooses the event id.
    void write(Priority priority, const QString& message, const SystemLogFields& fields = {}) override;
    QString destination() const override
    {
        return QStringLiteral("the Application event log, source Tollgate");
    }

private:
    EventSource m_source;
    QElapsedTimer m_sinceAttempt;
};

} // namespace Tollgate::Platform
