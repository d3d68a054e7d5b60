#pragma once

#include "TestEnvironment.h"
#include "platform/linux/ProcProcessTable.h"

#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <csignal>

namespace Tollgate::Test {

// A copy of sleep under a name of the test's own (the prefix and a random number, since
// tests run side by side), in the sandbox, so that process rules and kills touch nothing
// else on this machine. Whatever still runs from the copy ends
// with the object, also when it was started by the code under test in a session of its own.
class NamedProgram
{
public:
    explicit NamedProgram(const QString& prefix = QStringLiteral("tg"), QString folder = Sandbox::folder())
        : m_path(folder + u'/' + prefix
            + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')))
    {
        m_ready = QFile::copy(QStringLiteral("/bin/sleep"), m_path);
    }
    ~NamedProgram() { killAll(); }
    NamedProgram(const NamedProgram&) = delete;
    NamedProgram& operator=(const NamedProgram&) = delete;

    bool ready() const { return m_ready; }
    const QString& path() const { return m_path; }
    QString name() const { return m_path.section(u'/', -1); }

    int running() const { return int(pids().size()); }
    void killAll() const
    {
        for (const Platform::ProcessId pid : pids())
            ::kill(pid_t(pid), SIGKILL);
    }

private:
    QList<Platform::ProcessId> pids() const
    {
        QList<Platform::ProcessId> found;
        Platform::ProcProcessTable table;
        for (const Platform::ProcessEntry& entry : table.fullSnapshot()) {
            if (entry.name == name())
                found.append(entry.pid);
        }
        return found;
    }

    QString m_path;
    bool m_ready = false;
};

} // namespace Tollgate::Test
