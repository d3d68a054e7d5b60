#pragma once

#include "FileDescriptor.h"

#include <QByteArray>
#include <QList>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace Tollgate::Platform {

// Tells that a program may have started, from the opens of files that every dynamically
// linked program opens as it starts: the C library, opened by the dynamic loader once the
// new program has replaced the old one. inotify needs no privileges and, unlike a poll,
// costs nothing while nothing starts. Statically linked programs and programs with a C
// library of their own open none of these files and go unseen here. A file replaced by
// an update is watched again under its path.
class ProgramStartWatcher
{
public:
    ProgramStartWatcher(QList<QByteArray> files, std::function<void()> onStart);
    ~ProgramStartWatcher();
    ProgramStartWatcher(const ProgramStartWatcher&) = delete;
    ProgramStartWatcher& operator=(const ProgramStartWatcher&) = delete;

    // Whether at least one of the files is watched.
    bool isValid() const { return m_watched > 0; }
    const QList<QByteArray>& files() const { return m_files; }

    // The C libraries this process runs with, which the programs of this system share.
    static QList<QByteArray> sharedStartFiles();

private:
    void watchFiles();
    void readEvents();

    QList<QByteArray> m_files;
    std::function<void()> m_onStart;
    FileDescriptor m_inotify;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_watched = 0;
};

} // namespace Tollgate::Platform
