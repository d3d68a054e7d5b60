#pragma once

#include "RestartPolicy.h"
#include "platform/linux/Accounts.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

namespace Tollgate {

// Keeps the session program running in each graphical session of a managed account: as
// that account, with the machine's document, unattended. It is started again at once when
// it ends, unless the administrator quit it with the password (RestartPolicy).
class SessionKeeper : public QObject
{
    Q_OBJECT

public:
    struct Session
    {
        QString user;
        QString display; // ":0" for X11; empty on Wayland
        QString runtimePath; // the account's runtime folder, if known
        QString key() const { return user + u' ' + display; }
    };
    using Report = std::function<void(const QString& user, const QString& message, bool tamper)>;

    SessionKeeper(QString program, Report report, QObject* parent = nullptr);
    ~SessionKeeper() override;

    // A new path starts the running programs again with it.
    void setDocument(const QString& path);
    // Starts the program in new sessions and ends it in sessions that went.
    void setSessions(const QList<Session>& sessions);
    // Tells the account's sessions that a program was denied, so that they show the block
    // message and log it.
    void tellBlocked(uint uid, const QString& program, const QString& action);
    // The running session programs' process ids.
    QList<qint64> processIds() const;

private:
    struct Kept
    {
        Session session;
        Platform::Account account;
        std::unique_ptr<QProcess> process;
        QElapsedTimer started;
        QTimer restart;
        RestartPolicy restarts;
        bool quit = false;
    };

    void start(Kept& kept);
    // Ends the program without it counting as an end to answer.
    void stop(Kept& kept);
    void ended(Kept& kept, int exitCode, QProcess::ExitStatus status);
    QProcessEnvironment environmentFor(const Kept& kept) const;

    QString m_program;
    QString m_document;
    Report m_report;
    std::map<QString, std::unique_ptr<Kept>> m_kept;
};

} // namespace Tollgate
