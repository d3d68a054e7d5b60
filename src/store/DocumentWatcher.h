#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace Tollgate {

// Tells when the document at a path may have changed on disk: edited in place, replaced by
// a file renamed over it (as configuration tools write), deleted, or created again. The
// folder is watched as well as the file, since a replaced or deleted file drops out of the
// file watch. A path whose folder does not exist is not watched at all, and once the folder
// is gone nothing more is reported: there is nothing to poll.
class DocumentWatcher : public QObject
{
    Q_OBJECT

public:
    // How long the document must stay quiet before changed() is emitted, and the most a
    // stream of events may put it off.
    static constexpr int QuietMs = 100;
    static constexpr int MaxDelayMs = 1000;

    explicit DocumentWatcher(QString path, QObject* parent = nullptr);

    QString path() const { return m_path; }

signals:
    // Once per new version: the file appeared, disappeared, or its size or times differ
    // from those when it was last reported (or when watching began).
    void changed();

private:
    struct Version
    {
        bool exists = false;
        qint64 size = 0;
        qint64 modifiedMs = 0;
        // Changes with every write, rename or replacement and cannot be set back by a tool
        // that keeps the modification time; it stands in for the inode here.
        qint64 statusChangedMs = 0;
        bool operator==(const Version&) const = default;
    };

    static Version versionOf(const QString& path);
    void noticed();
    void settle();
    void watchFile();

    QString m_path;
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
    QElapsedTimer m_pendingSince;
    Version m_reported;
};

} // namespace Tollgate
