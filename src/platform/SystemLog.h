#pragma once

#include <QString>

namespace Tollgate::Platform {

// The operating system's log (journald or syslog), where existing log collection finds
// the enforcements of every machine in a lab.
class SystemLog
{
public:
    // Severities in the order of the syslog levels they become.
    enum class Priority { Warning, Notice, Info };

    virtual ~SystemLog() = default;

    // One message; never blocks and never fails loudly: a missing or stuck log service
    // drops the message.
    virtual void write(Priority priority, const QString& message) = 0;
    // Where the messages go, for --check-platform; empty when nowhere.
    virtual QString destination() const = 0;
};

} // namespace Tollgate::Platform
