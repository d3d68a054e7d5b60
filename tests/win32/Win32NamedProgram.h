#pragma once

#include "common/TestEnvironment.h"
#include "platform/win32/Win32ProcessTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

namespace Tollgate::Test {

// The program the Windows tests start (TestClient.cpp), beside them.
inline QString testClient()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_test_client.exe");
}

// A copy of the test client under a name of the test's own (the prefix and a random
// number), so that process rules and kills touch nothing else; whatever still runs from the
// copy ends with the object, also what the code under test started.
class Win32NamedProgram
{
public:
    explicit Win32NamedProgram(
        const QString& prefix = QStringLiteral("tgs"), const QString& folder = Sandbox::folder())
        : m_path(folder + u'/' + prefix
            + QStringLiteral("%1.exe").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')))
        , m_ready(QFile::copy(testClient(), m_path))
    { }
    ~Win32NamedProgram() { running(name(), true); }
    Win32NamedProgram(const Win32NamedProgram&) = delete;
    Win32NamedProgram& operator=(const Win32NamedProgram&) = delete;

    bool ready() const { return m_ready; }
    const QString& path() const { return m_path; }
    QString name() const { return m_path.section(u'/', -1); }

    // How many processes run a program of that file name; ending them first when asked to.
    static int running(const QString& fileName, bool end = false)
    {
        Platform::Win32ProcessTable table;
        int count = 0;
        for (const Platform::ProcessEntry& entry : table.snapshot()) {
            count += entry.name.compare(fileName, Qt::CaseInsensitive) == 0
                && !(end && table.terminate(entry.pid) == Platform::TerminateResult::Terminated);
        }
        return count;
    }

private:
    QString m_path;
    bool m_ready = false;
};

} // namespace Tollgate::Test
