#include "ChildProcesses.h"

#include <algorithm>

#ifndef _WIN32
#include <csignal>
#include <sys/prctl.h>
#endif

namespace Tollgate::Test {

ChildProcesses::~ChildProcesses()
{
    killAll();
}

QProcess* ChildProcesses::start(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment, Output output, const QString& logFile)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    switch (output) {
    case Output::Forwarded:
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        break;
    case Output::Discarded:
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        break;
    case Output::Captured:
        break;
    case Output::Logged:
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(logFile);
        break;
    }
#ifndef _WIN32
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    process->start(program, arguments);
    if (!process->waitForStarted(30000))
        return nullptr;
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

void ChildProcesses::kill(QProcess* process)
{
    const auto it = std::find_if(m_processes.begin(), m_processes.end(),
        [process](const std::unique_ptr<QProcess>& owned) { return owned.get() == process; });
    if (it == m_processes.end())
        return;
    (*it)->kill();
    (*it)->waitForFinished(10000);
    m_processes.erase(it);
}

void ChildProcesses::killAll()
{
    while (!m_processes.empty())
        kill(m_processes.back().get());
}

bool ChildProcesses::exited(QProcess* process)
{
    return process->state() == QProcess::NotRunning || process->waitForFinished(1);
}

} // namespace Tollgate::Test
