#include "DocumentWatcher.h"

#include <QDir>
#include <QFileInfo>

namespace Tollgate {

DocumentWatcher::DocumentWatcher(QString path, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_reported(versionOf(m_path))
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(QuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &DocumentWatcher::settle);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &DocumentWatcher::noticed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DocumentWatcher::noticed);

    const QFileInfo info(m_path);
    if (m_path.isEmpty() || !info.absoluteDir().exists())
        return;
    m_watcher.addPath(info.absolutePath());
    watchFile();
}

DocumentWatcher::Version DocumentWatcher::versionOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch(),
        info.metadataChangeTime().toMSecsSinceEpoch()};
}

void DocumentWatcher::watchFile()
{
    // Only a file: a folder put in the document's place would report every change inside it.
    if (!m_watcher.files().contains(m_path) && QFileInfo(m_path).isFile())
        m_watcher.addPath(m_path);
}

void DocumentWatcher::noticed()
{
    watchFile();
    // A writer takes a moment; wait until it has been quiet, but not for ever while other
    // files in the folder keep changing.
    if (!m_quiet.isActive())
        m_pendingSince.start();
    if (m_pendingSince.elapsed() < MaxDelayMs)
        m_quiet.start();
}

void DocumentWatcher::settle()
{
    watchFile();
    const Version now = versionOf(m_path);
    if (now == m_reported)
        return;
    m_reported = now;
    emit changed();
}

} // namespace Tollgate
