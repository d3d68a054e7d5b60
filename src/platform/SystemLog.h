#pragma once

#include <QByteArray>
#include <QString>

namespace Tollgate::Platform {

// What a message is about, for log collectors to filter on; empty members are left out.
// The initialisers let designated initialisers name only the members they set.
struct SystemLogFields
{
    QByteArray messageId {}; // one of SystemLogMessageId
    QString rule {};
    QString action {};
    QString account {};
    QString program {};
};

// One fixed id per kind of message, the same on every machine and in every release, so
// that a fleet's collector can select them without parsing the text.
namespace SystemLogMessageId {
    // The session program ended a process or blocked a window.
    inline constexpr char Blocked[] = "d26ea55391df61e5837a0934f82e781c";
    // An Always Run program was started.
    inline constexpr char Started[] = "789fe905f13da2e5f41b34a588ef3605";
    inline constexpr char StartFailed[] = "90eeb17cb3310026ca1865fe9d4fcd26";
    // A program was denied before it ran.
    inline constexpr char Denied[] = "3b95aa379b8d80f2720d188ba160aedd";
    // A privileged guard ended a program.
    inline constexpr char Ended[] = "756c20d04b8ab10e83fc0aa7d37978ed";
    // The session's program ended without the administrator's Quit.
    inline constexpr char Tamper[] = "42971e8f74eb8adac86afadc1eb87d6c";
    inline constexpr char DocumentLoaded[] = "2d84e213d19db698afefcf23e7a26ecd";
    // A new version of a rule-set document could not be read or was bad; the last good
    // rules stay.
    inline constexpr char DocumentRejected[] = "0c683b34a42615b7a9a803d7abd022f7";
    // What a guard does on this machine.
    inline constexpr char GuardStatus[] = "5565511663d11e1c204d0045efed3dad";
} // namespace SystemLogMessageId

// The operating system's log (journald or syslog), where existing log collection finds
// the enforcements of every machine in a lab.
class SystemLog
{
public:
    // Severities in the order of the syslog levels they become.
    enum class Priority { Warning, Notice, Info };

    virtual ~SystemLog() = default;

    // One message; never blocks and never fails loudly: a missing or stuck log service
    // drops the message. A log without fields of its own keeps the text only.
    virtual void write(Priority priority, const QString& message, const SystemLogFields& fields = {}) = 0;
    // Where the messages go, for --check-platform; empty when nowhere.
    virtual QString destination() const = 0;
};

} // namespace Tollgate::Platform
