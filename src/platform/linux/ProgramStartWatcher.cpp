#include "ProgramStartWatcher.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <link.h>
#include <sys/inotify.h>

namespace Tollgate::Platform {

ProgramStartWatcher::ProgramStartWatcher(QList<QByteArray> files, std::function<void()> onStart)
    : m_files(std::move(files))
    , m_onStart(std::move(onStart))
    , m_inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (!m_inotify.isValid())
        return;
    watchFiles();
    if (m_watched == 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_inotify.get(), QSocketNotifier::Read);
    QObject::connect(
        m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readEvents(); });
}

ProgramStartWatcher::~ProgramStartWatcher() = default;

void ProgramStartWatcher::watchFiles()
{
    // Adding a watch again for the same file only returns the same one; for a file that
    // an update replaced, the path now leads to the new one.
    m_watched = 0;
    for (const QByteArray& file : std::as_const(m_files)) {
        constexpr quint32 mask = IN_OPEN | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF;
        if (::inotify_add_watch(m_inotify.get(), file.constData(), mask) >= 0)
            ++m_watched;
    }
}

void ProgramStartWatcher::readEvents()
{
    alignas(inotify_event) char buffer[4096];
    bool opened = false;
    bool replaced = false;
    for (;;) {
        const ssize_t got = ::read(m_inotify.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.mask & IN_OPEN)
                opened = true;
            // A lost event may have been an open; a changed link count or a removed watch
            // means the file was replaced or removed.
            if (event.mask & IN_Q_OVERFLOW)
                opened = true;
            if (event.mask & (IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED))
                replaced = true;
            at += ssize_t(sizeof(inotify_event) + event.len);
        }
    }
    if (replaced)
        watchFiles();
    if (opened && m_onStart)
        m_onStart();
}

QList<QByteArray> ProgramStartWatcher::sharedStartFiles()
{
    QList<QByteArray> files;
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const char* path = info->dlpi_name;
            const char* slash = path ? std::strrchr(path, '/') : nullptr;
            if (slash && std::strncmp(slash + 1, "libc.so", 7) == 0) {
                char resolved[PATH_MAX];
                if (::realpath(path, resolved))
                    static_cast<QList<QByteArray>*>(data)->append(QByteArray(resolved));
            }
            return 0;
        },
        &files);
    return files;
}

} // namespace Tollgate::Platform
