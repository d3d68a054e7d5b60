// LogindSessions against a stand-in logind of the test's own on a private bus.
#include "platform/linux/LogindSessions.h"

#include "common/ChildProcesses.h"
#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

using namespace Tollgate::Platform;

namespace {

const QString Path = str("/org/freedesktop/login1");
const QString Login1 = str("org.freedesktop.login1");

// An entry of ListSessions: id, uid, user, seat, object.
struct SessionRow
{
    QString id;
    friend QDBusArgument& operator<<(QDBusArgument& out, const SessionRow& row)
    {
        out.beginStructure();
        out << row.id << 1000u << str("alice") << str("seat0")
            << QDBusObjectPath(Path + str("/session/_") + row.id);
        out.endStructure();
        return out;
    }
    friend const QDBusArgument& operator>>(const QDBusArgument& in, SessionRow&) { return in; }
};

// A session's User property; the stand-in's user objects have /run/user/UID as RuntimePath.
QVariant user(uint uid)
{
    QDBusArgument user;
    user.beginStructure();
    user << uid << QDBusObjectPath(Path + str("/user/_") + QString::number(uid));
    user.endStructure();
    return QVariant::fromValue(user);
}

// alice's x11 session on :0 with these changes; an invalid value takes a property away.
QVariantMap session(const QVariantMap& changes = {})
{
    QVariantMap properties {{str("Type"), str("x11")}, {str("Class"), str("user")},
        {str("State"), str("active")}, {str("Remote"), false}, {str("Display"), str(":0")},
        {str("Name"), str("alice")}, {str("User"), user(1000)}, {str("Desktop"), str("KDE")}};
    properties.insert(changes);
    properties.removeIf([](const auto& entry) { return !entry.value().isValid(); });
    return properties;
}

// The fixture is logind's manager, sessions and users as far as they are read, on a thread
// of its own: the code under test blocks its thread until an answer comes.
class LogindSessionsTest : public testing::Test, public QDBusVirtualObject
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(str("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        qDBusRegisterMetaType<SessionRow>();
        qDBusRegisterMetaType<QList<SessionRow>>();
        QProcess* bus = m_children.start(str("dbus-daemon"),
            {str("--session"), str("--print-address"), str("--nofork")},
            QProcessEnvironment::systemEnvironment(), Tollgate::Test::ChildProcesses::Output::Captured);
        while (bus && !bus->canReadLine() && bus->waitForReadyRead(30000)) { }
        ASSERT_TRUE(bus && bus->canReadLine()) << "dbus-daemon did not start";
        const QString address = QString::fromUtf8(bus->readLine().trimmed());
        m_client = QDBusConnection::connectToBus(address, str("client"));
        m_logind = QDBusConnection::connectToBus(address, str("logind"));
        // Registering gives the object a child, which then moves along.
        ASSERT_TRUE(m_logind.registerVirtualObject(Path, this, QDBusConnection::SubPath));
        moveToThread(&m_thread);
        m_thread.start();
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(str("logind"));
        m_thread.quit();
        m_thread.wait();
        QDBusConnection::disconnectFromBus(str("client"));
    }

    // No properties: the session is gone. A silent logind leaves every call unanswered.
    void set(const QString& id, const QVariantMap& properties, bool silent = false)
    {
        const QMutexLocker lock(&m_mutex);
        m_sessions.insert(id, properties);
        m_sessions.removeIf([](const auto& entry) { return entry.value().isEmpty(); });
        m_silent = silent;
    }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override
    {
        const QMutexLocker lock(&m_mutex);
        const QString object = call.path().section(str("/_"), -1);
        QList<SessionRow> rows;
        for (const QString& id : m_sessions.keys())
            rows.append({id});
        if (m_silent)
            return true;
        if (call.member() == str("ListSessions"))
            return bus.send(call.createReply(QVariant::fromValue(rows)));
        if (call.path().contains(str("/user/")))
            return bus.send(call.createReply(QVariantMap {{str("RuntimePath"), str("/run/user/") + object}}));
        if (!m_sessions.contains(object))
            return bus.send(call.createErrorReply(QDBusError::UnknownObject, call.path()));
        return bus.send(call.createReply(m_sessions.value(object)));
    }
    QString introspect(const QString&) const override { return {}; }

    Tollgate::Test::ChildProcesses m_children;
    QDBusConnection m_client {QString()};
    QDBusConnection m_logind {QString()};
    QThread m_thread;
    QMutex m_mutex;
    QHash<QString, QVariantMap> m_sessions;
    bool m_silent = false;
};

// Only graphical, local, live user sessions are listed (1, 2 and 3 of the eleven), and
// the list follows logind, its sessions and its silence.
TEST_F(LogindSessionsTest, ListsGraphicalLocalLiveUserSessionsOnlyAndFollowsLogind)
{
    const QVariantMap cases[] = {{},
        {{str("Type"), str("wayland")}, {str("Display"), str(":1")}, {str("Name"), str("bob")},
            {str("User"), user(1001)}, {str("Desktop"), QVariant()}},
        {{str("Type"), str("mir")}, {str("State"), str("online")}}, {{str("Type"), str("tty")}},
        {{str("Remote"), true}}, {{str("Class"), str("greeter")}}, {{str("State"), str("closing")}},
        {{str("Remote"), str("false")}}, {{str("User"), 1000u}}, {{str("Type"), 11}},
        {{str("Name"), QVariant()}}};
    for (const QVariantMap& changes : cases)
        set(QString::number(&changes - cases + 1), session(changes));
    const QList<GraphicalSession> listedFirst {
        {str("1"), 1000, str("alice"), str("x11"), str(":0"), str("/run/user/1000"), str("KDE")},
        {str("2"), 1001, str("bob"), str("wayland"), QString(), str("/run/user/1001"), QString()},
        {str("3"), 1000, str("alice"), str("mir"), QString(), str("/run/user/1000"), str("KDE")}};
    LogindSessions sessions(m_client);
    EXPECT_FALSE(sessions.isAvailable());
    QSignalSpy changed(&sessions, &LogindSessions::changed);
    const auto listed = [&] {
        QStringList ids(sessions.isAvailable() ? 0 : 1, str("-"));
        for (const GraphicalSession& session : sessions.sessions())
            ids.append(session.id);
        return ids.join(u' ');
    };
    // What logind does, to which session, and the ids listed after it ("-": unavailable).
    const std::tuple<const char*, const char*, QVariantMap, bool, const char*> steps[]
        = {{"come", "7", session(), false, "1 2 3 7"}, {"SessionNew", "8", session(), false, "1 2 3 7 8"},
            {"PropertiesChanged", "7", session({{str("State"), str("closing")}}), false, "1 2 3 8"},
            {"SessionRemoved", "8", {}, false, "1 2 3"}, {"SessionNew", "9", session(), false, "1 2 3 9"},
            {"leave", "9", session(), false, "-"}, {"come", "9", session(), false, "1 2 3 9"},
            {"SessionNew", "9", session(), true, "-"}};
    int count = 0;
    for (const auto& [what, id, properties, silent, expected] : steps) {
        SCOPED_TRACE(std::string(what) + ' ' + id);
        set(str(id), properties, silent);
        const QString path = Path + str("/session/_") + str(id);
        if (qstrcmp(what, "come") == 0 || qstrcmp(what, "leave") == 0) {
            ASSERT_TRUE(*what == 'c' ? m_logind.registerService(Login1) : m_logind.unregisterService(Login1));
        } else if (qstrcmp(what, "PropertiesChanged") == 0) {
            m_logind.send(QDBusMessage::createSignal(path, str("org.freedesktop.DBus.Properties"), str(what))
                << str("org.freedesktop.login1.Session") << QVariantMap() << QStringList {str("State")});
        } else {
            m_logind.send(QDBusMessage::createSignal(Path, str("org.freedesktop.login1.Manager"), str(what))
                << str(id) << QDBusObjectPath(path));
        }
        EXPECT_TRUE(Tollgate::Test::waitProcessingEvents([&] { return listed() == str(expected); }))
            << listed().toStdString();
        EXPECT_EQ(changed.count(), ++count);
        if (count == 1) {
            EXPECT_EQ(sessions.sessions().mid(0, 3), listedFirst);
        }
    }
}

} // namespace
