#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

namespace Tollgate::Platform {

// What it takes to start a program in someone's graphical session.
struct GraphicalSession
{
    QString id; // logind's session id
    uint uid = 0;
    QString user; // account name
    QString type; // "x11", "wayland" or "mir"
    QString display; // X display (":0") for x11 sessions, empty otherwise
    QString runtimePath; // the user's runtime folder (/run/user/UID)
    QString desktop; // XDG desktop name, empty when logind does not know it

    bool operator==(const GraphicalSession&) const = default;
};

// The graphical sessions of local users, as systemd-logind tells them on the bus it is
// given. Everything logind says is checked: a session with a missing or mistyped property
// is left out. Calls wait a second at most; a logind that does not answer in time counts
// as absent. Everything is read again a moment after logind signals a change, and when it
// comes to the bus or leaves it; there is no polling.
class LogindSessions : public QObject
{
    Q_OBJECT

public:
    explicit LogindSessions(QDBusConnection bus, QObject* parent = nullptr);

    // Whether logind answered when last asked.
    bool isAvailable() const { return m_available; }
    // The graphical, local, user-class sessions that are active or online, sorted by id.
    QList<GraphicalSession> sessions() const { return m_sessions; }

signals:
    // The list or the availability changed.
    void changed();

private slots:
    void refresh();
    void onSessionPropertiesChanged(
        const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    // Reads every session anew; false when logind is absent or does not answer.
    bool read(QList<GraphicalSession>* sessions) const;

    QDBusConnection m_bus;
    QTimer m_settle; // a burst of signals costs one read
    QDBusServiceWatcher m_watcher;
    bool m_available = false;
    QList<GraphicalSession> m_sessions;
};

} // namespace Tollgate::Platform
