#pragma once

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Child processes that only wait to be killed, so that a benchmark sees a busy process
// table; gone again when the object goes, or with the benchmark if it is killed.
class IdleChildren
{
public:
    explicit IdleChildren(int count)
    {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                // Gone with us too when we are killed before we can kill them.
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (::getppid() == 1)
                    ::_exit(0);
                for (;;)
                    ::pause();
            }
            if (pid < 0)
                break;
            m_pids.push_back(pid);
        }
    }
    ~IdleChildren()
    {
        for (const pid_t pid : m_pids)
            ::kill(pid, SIGKILL);
        for (const pid_t pid : m_pids)
            ::waitpid(pid, nullptr, 0);
    }
    IdleChildren(const IdleChildren&) = delete;
    IdleChildren& operator=(const IdleChildren&) = delete;

    size_t size() const { return m_pids.size(); }

private:
    std::vector<pid_t> m_pids;
};
