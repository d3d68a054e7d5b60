#include "LogindSessions.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <algorithm>
#include <optional>

namespace Tollgate::Platform {

namespace {
    const QString Service = QStringLiteral("org.freedesktop.login1");
    const QString ManagerPath = QStringLiteral("/org/freedesktop/login1");
    const QString ManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
    const QString SessionInterface = QStringLiteral("org.freedesktop.login1.Session");
    const QString UserInterface = QStringLiteral("org.freedesktop.login1.User");
    const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
    constexpr int CallTimeoutMs = 1000;
    // logind announces a new session and then fills in its properties.
    constexpr int SettleMs = 100;

    const QStringList GraphicalTypes {
        QStringLiteral("x11"), QStringLiteral("wayland"), QStringLiteral("mir")};
    const QStringList LiveStates {QStringLiteral("active"), QStringLiteral("online")};
    // What a change must touch to be worth a read: not the idle and lock hints, which change often.
    const QStringList ReadProperties {QStringLiteral("Type"), QStringLiteral("Class"),
        QStringLiteral("State"), QStringLiteral("Remote"), QStringLiteral("Display"), QStringLiteral("Name"),
        QStringLiteral("User"), QStringLiteral("Desktop")};

    // Gone: nobody answered in time, or nobody owns the name; then nothing read is trustworthy.
    enum class Outcome { Answered, Refused, Gone };

    Outcome outcomeOf(const QDBusMessage& reply)
    {
        if (reply.type() == QDBusMessage::ReplyMessage)
            return Outcome::Answered;
        const QDBusError::ErrorType error = QDBusError(reply).type();
        const bool gone = error == QDBusError::NoReply || error == QDBusError::Timeout
            || error == QDBusError::Disconnected || error == QDBusError::ServiceUnknown;
        return gone ? Outcome::Gone : Outcome::Refused;
    }

    QDBusMessage call(const QDBusConnection& bus, const QString& path, const QString& interface,
        const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block, CallTimeoutMs);
    }

    // An object's properties; empty when the answer is not a property map.
    std::optional<QVariantMap> properties(
        const QDBusConnection& bus, const QString& path, const QString& interface, Outcome* outcome)
    {
        const QDBusMessage reply
            = call(bus, path, PropertiesInterface, QStringLiteral("GetAll"), {interface});
        *outcome = outcomeOf(reply);
        if (*outcome != Outcome::Answered || reply.signature() != QLatin1String("a{sv}"))
            return std::nullopt;
        return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    }

    // A property of exactly this type; a missing one and one of another type are both absent.
    template<typename T> std::optional<T> typed(const QVariantMap& map, const QString& name)
    {
        const QVariant value = map.value(name);
        if (value.metaType() != QMetaType::fromType<T>())
            return std::nullopt;
        return value.value<T>();
    }

    struct UserRef
    {
        uint uid = 0;
        QString path;
    };

    // The session's User property: (uo), the uid and the user's object.
    std::optional<UserRef> userOf(const QVariantMap& map)
    {
        const auto value = typed<QDBusArgument>(map, QStringLiteral("User"));
        if (!value || value->currentSignature() != QLatin1String("(uo)"))
            return std::nullopt;
        UserRef user;
        QDBusObjectPath path;
        value->beginStructure();
        *value >> user.uid >> path;
        value->endStructure();
        user.path = path.path();
        return user;
    }
} // namespace

LogindSessions::LogindSessions(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_watcher(Service, m_bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &LogindSessions::refresh);
    // QtDBus follows the name to whoever owns it, also after logind restarts.
    m_bus.connect(
        Service, ManagerPath, ManagerInterface, QStringLiteral("SessionNew"), &m_settle, SLOT(start()));
    m_bus.connect(
        Service, ManagerPath, ManagerInterface, QStringLiteral("SessionRemoved"), &m_settle, SLOT(start()));
    // Any path: one match for all sessions, present and future.
    m_bus.connect(Service, QString(), PropertiesInterface, QStringLiteral("PropertiesChanged"),
        {SessionInterface}, QString(), this,
        SLOT(onSessionPropertiesChanged(QString, QVariantMap, QStringList)));
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, &m_settle, qOverload<>(&QTimer::start));
    m_available = read(&m_sessions);
}

void LogindSessions::onSessionPropertiesChanged(
    const QString&, const QVariantMap& changed, const QStringList& invalidated)
{
    const auto matters = [](const QString& name) { return ReadProperties.contains(name); };
    if (std::ranges::any_of(changed.keys(), matters) || std::ranges::any_of(invalidated, matters))
        m_settle.start();
}

void LogindSessions::refresh()
{
    QList<GraphicalSession> sessions;
    const bool available = read(&sessions);
    if (available == m_available && sessions == m_sessions)
        return;
    m_available = available;
    m_sessions = sessions;
    emit changed();
}

bool LogindSessions::read(QList<GraphicalSession>* sessions) const
{
    if (!m_bus.isConnected())
        return false;
    const QDBusMessage list = call(m_bus, ManagerPath, ManagerInterface, QStringLiteral("ListSessions"));
    if (outcomeOf(list) != Outcome::Answered || list.signature() != QLatin1String("a(susso)"))
        return false;
    QList<std::pair<QString, QString>> listed; // id and object path
    const QDBusArgument rows = list.arguments().constFirst().value<QDBusArgument>();
    rows.beginArray();
    while (!rows.atEnd()) {
        QString id, user, seat;
        uint uid = 0;
        QDBusObjectPath path;
        rows.beginStructure();
        rows >> id >> uid >> user >> seat >> path;
        rows.endStructure();
        listed.append({id, path.path()});
    }
    rows.endArray();

    QHash<QString, QString> runtimePaths; // by the user's object path
    for (const auto& [id, path] : listed) {
        Outcome outcome;
        const auto session = properties(m_bus, path, SessionInterface, &outcome);
        if (outcome == Outcome::Gone)
            return false;
        if (!session)
            continue;
        const auto type = typed<QString>(*session, QStringLiteral("Type"));
        const auto sessionClass = typed<QString>(*session, QStringLiteral("Class"));
        const auto state = typed<QString>(*session, QStringLiteral("State"));
        const auto remote = typed<bool>(*session, QStringLiteral("Remote"));
        const auto display = typed<QString>(*session, QStringLiteral("Display"));
        const auto name = typed<QString>(*session, QStringLiteral("Name"));
        const auto user = userOf(*session);
        // Older logind has no Desktop.
        const auto desktop = session->contains(QStringLiteral("Desktop"))
            ? typed<QString>(*session, QStringLiteral("Desktop"))
            : std::optional<QString>(QString());
        if (!type || !sessionClass || !state || !remote || !display || !name || !user || !desktop)
            continue;
        if (!GraphicalTypes.contains(*type) || *sessionClass != QLatin1String("user") || *remote
            || !LiveStates.contains(*state))
            continue;
        if (!runtimePaths.contains(user->path)) {
            const auto owner = properties(m_bus, user->path, UserInterface, &outcome);
            if (outcome == Outcome::Gone)
                return false;
            const auto runtimePath
                = owner ? typed<QString>(*owner, QStringLiteral("RuntimePath")) : std::nullopt;
            runtimePaths.insert(user->path, runtimePath.value_or(QString()));
        }
        const QString runtimePath = runtimePaths.value(user->path);
        if (runtimePath.isEmpty())
            continue;
        sessions->append({id, user->uid, *name, *type, *type == QLatin1String("x11") ? *display : QString(),
            runtimePath, *desktop});
    }
    std::ranges::sort(*sessions, {}, &GraphicalSession::id);
    return true;
}

} // namespace Tollgate::Platform
