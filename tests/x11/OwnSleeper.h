#pragma once

#include "platform/linux/ProcProcessTable.h"

#include <QFile>
#include <QString>
#include <csignal>

namespace Tollgate::Test {

// A copy of sleep under a name of the test's own, so that process rules touch nothing else
// on this machine.
class OwnSleeper
{
public:
    bool create(const QString& path)
    {
        m_path = path;
        return QFile::copy(QStringLiteral("/bin/sleep"), path);
    }
    const QString& path() const { return m_path; }
    QString name() const { return m_path.section(u'/', -1); }

    // Whatever the survey started from the copy runs in its own session: ends it by name.
    void killAll() const
    {
        if (m_path.isEmpty())
            return;
        Platform::ProcProcessTable table;
        for (const Platform::ProcessEntry& entry : table.fullSnapshot()) {
            if (entry.name == name())
                ::kill(pid_t(entry.pid), SIGKILL);
        }
    }

private:
    QString m_path;
};

} // namespace Tollgate::Test
