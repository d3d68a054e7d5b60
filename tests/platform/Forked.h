#pragma once

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Tollgate::Test {

// A forked child of the test, for what QProcess cannot make: a process that renames
// itself, a zombie, a pid of the test's choosing. It is killed and reaped with the object,
// and killed with the test process however that ends. The body runs in the child and may
// make async-signal-safe calls only; the child exits when it returns, or else waits to be
// killed.
class Forked
{
public:
    template<typename Body> explicit Forked(Body body)
    {
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() == parent)
                body();
            ::_exit(0);
        }
    }
    Forked()
        : Forked([] {
            for (;;)
                ::pause();
        })
    { }
    ~Forked()
    {
        if (m_pid > 0 && !m_reaped)
            ::kill(m_pid, SIGKILL);
        reap();
    }
    Forked(const Forked&) = delete;
    Forked& operator=(const Forked&) = delete;

    pid_t pid() const { return m_pid; }
    // Whether it has ended; it stays a zombie, its pid in /proc, until reaped.
    bool ended(bool wait = false) const
    {
        siginfo_t info {};
        return m_reaped
            || (::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT | (wait ? 0 : WNOHANG)) == 0
                && info.si_pid == m_pid);
    }
    // Waits for its end and reaps it; the wait status.
    int reap()
    {
        if (m_pid > 0 && !m_reaped)
            m_reaped = ::waitpid(m_pid, &m_status, 0) == m_pid;
        return m_status;
    }

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = -1;
};

} // namespace Tollgate::Test
