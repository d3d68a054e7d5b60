#include "StandardInputPipe.h"

#include <cerrno>
#include <fcntl.h>

namespace Tollgate::Platform {

StandardInputPipe::StandardInputPipe()
    : m_fd(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3))
{
    if (!m_fd.isValid())
        return;
    const FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (null.isValid())
        ::dup2(null.get(), STDIN_FILENO);
}

void StandardInputPipe::read(Received received, std::function<void()> ended)
{
    m_received = std::move(received);
    m_ended = std::move(ended);
    if (!m_fd.isValid()) {
        // No input at all is an input that has ended.
        m_ended();
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd.get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { readable(); });
}

void StandardInputPipe::readable()
{
    // One read per notice: it returns what is there without waiting for more.
    char buffer[4096];
    ssize_t count = 0;
    do {
        count = ::read(m_fd.get(), buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        m_received(QByteArray(buffer, count));
        return;
    }
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    stop();
}

void StandardInputPipe::stop()
{
    // Disabled rather than deleted: we are inside its signal.
    m_notifier->setEnabled(false);
    m_ended();
}

} // namespace Tollgate::Platform
