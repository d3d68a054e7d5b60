#pragma once

#include "Win32Handle.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QWinEventNotifier;

namespace Tollgate::Platform {

// A program a service runs in a user's session, as the account signed in there, on that
// session's desktop. The user is denied the right to end it, to suspend it, to change what
// it runs or to change those rights, where Windows honours a process's security; the
// system and administrators keep every right.
class Win32SessionProgram : public QObject
{
    Q_OBJECT

public:
    // Null, with the reason, when it could not be started.
    static std::unique_ptr<Win32SessionProgram> start(quint32 session, const QString& program,
        const QStringList& arguments, const QStringList& environment, QString& error);
    ~Win32SessionProgram() override;

    qint64 processId() const { return m_pid; }
    void terminate();

signals:
    void finished(int exitCode);

private:
    struct Started
    {
        explicit Started() = default;
    };

public:
    Win32SessionProgram(Started, KernelHandle process, qint64 pid);

private:
    KernelHandle m_process;
    qint64 m_pid = 0;
    QWinEventNotifier* m_notifier = nullptr;
};

} // namespace Tollgate::Platform
