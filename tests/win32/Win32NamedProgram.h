#pragma once

#include "common/TestEnvironment.h"
#include "platform/win32/Win32ProcessTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

namespace Tollgate::Test {

// A copy of a program built beside the tests under a name of the test's own (the prefix
// and a random number), so that process rules and kills touch nothing else; whatever still
// runs from the copy ends with the object, also what the code under test started.
class Win32NamedProgram
{
public:
    explicit Win32NamedProgram(const QString& prefix = QStringLiteral("tgs"),
        const QString& folder = Sandbox::folder(),
        const QString& source = QStringLiteral("tollgate_win32_sleeper.exe"))
        : m_path(folder + u'/' + prefix
            + QStringLiteral("%1.exe").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')))
        , m_ready(QFile::copy(QCoreApplication::applicationDirPath() + u'/' + source, m_path))
    { }
    ~Win32NamedProgram() { killAll(); }
    Win32NamedProgram(const Win32NamedProgram&) = delete;
    Win32NamedProgram& operator=(const Win32NamedProgram&) = delete;

    bool ready() const { return m_ready; }
    const QString& path() const { return m_path; }
    QString name() const { return m_path.section(u'/', -1); }

    int running() const { return int(pids().size()); }
    void killAll() const
    {
        Platform::Win32ProcessTable table;
        for (const Platform::ProcessId pid : pids())
            table.terminate(pid);
    }

private:
    QList<Platform::ProcessId> pids() const
    {
        QList<Platform::ProcessId> found;
        for (const Platform::ProcessEntry& entry : Platform::Win32ProcessTable().snapshot()) {
            if (entry.name.compare(name(), Qt::CaseInsensitive) == 0)
                found.append(entry.pid);
        }
        return found;
    }

    QString m_path;
    bool m_ready = false;
};

} // namespace Tollgate::Test
