#include "GnomeWindowSystem.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QThread>

namespace Tollgate::Platform {

const QString GnomeWindowSystem::ExtensionUuid = QStringLiteral(TOLLGATE_GNOME_EXTENSION_UUID);

namespace {
    const QString ShellPath = QStringLiteral("/org/gnome/Shell");
    const QString ExtensionsInterface = QStringLiteral("org.gnome.Shell.Extensions");
    constexpr int CallTimeoutMs = 2000;
    // A restarting shell loads its extensions a few seconds after it takes its bus name.
    constexpr int RetryIntervalMs = 250;
    constexpr int Retries = 80;
    // The extension states GNOME Shell reports.
    constexpr int Enabled = 1;

    QString service()
    {
        return QString::fromLatin1(GnomeWindowSystem::ShellService);
    }

    QString stateName(int state)
    {
        switch (state) {
        case 2:
            return QStringLiteral("disabled");
        case 3:
            return QStringLiteral("failed to load");
        case 4:
            return QStringLiteral("made for another GNOME Shell version");
        case 6:
            return QStringLiteral("not enabled");
        default:
            return QStringLiteral("in state %1").arg(state);
        }
    }

    // Enables the extension for the session when it is installed but off; waits up to
    // waitMs for it to run, and up to startupMs for a shell that is still starting to take
    // its bus name and list its extensions. False with the reason in *error.
    bool ensureEnabled(const QDBusConnection& bus, QString* error, int waitMs, int startupMs = 0)
    {
        if (!bus.isConnected()) {
            *error = QStringLiteral("no session bus (%1)").arg(bus.lastError().message());
            return false;
        }
        const QDeadlineTimer startup(startupMs);
        const auto registered
            = [&] { return bus.interface() && bus.interface()->isServiceRegistered(service()).value(); };
        const bool starting = !registered();
        while (!registered()) {
            if (startup.hasExpired()) {
                *error = QStringLiteral("GNOME Shell (org.gnome.Shell) is not on the session bus");
                return false;
            }
            QThread::msleep(50);
        }
        const auto extensions = [&](const char* method) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                service(), ShellPath, ExtensionsInterface, QString::fromLatin1(method));
            call.setArguments({GnomeWindowSystem::ExtensionUuid});
            return bus.call(call, QDBus::Block, CallTimeoutMs);
        };
        const QString uuid = GnomeWindowSystem::ExtensionUuid;
        const QDeadlineTimer deadline(waitMs);
        bool enableAsked = false;
        for (;;) {
            const QDBusReply<QVariantMap> info = extensions("GetExtensionInfo");
            if (!info.isValid()) {
                *error = QStringLiteral("GNOME Shell's extension service does not answer: %1")
                             .arg(info.error().message());
                return false;
            }
            if (info.value().isEmpty() && starting && !startup.hasExpired()) {
                QThread::msleep(50);
                continue;
            }
            if (info.value().isEmpty()) {
                *error = QStringLiteral("Tollgate's GNOME Shell extension %1 is not installed: install "
                                        "Tollgate's package (or run cmake --install) and log in again, "
                                        "since GNOME Shell looks for extensions when it starts")
                             .arg(uuid);
                return false;
            }
            const int state = info.value().value(QStringLiteral("state")).toInt();
            if (state == Enabled)
                return true;
            const QString failure = info.value().value(QStringLiteral("error")).toString();
            if (!enableAsked) {
                enableAsked = true;
                extensions("EnableExtension");
            } else if (deadline.hasExpired()) {
                *error = QStringLiteral("Tollgate's GNOME Shell extension %1 is %2%3; where the "
                                        "org.gnome.shell setting disable-user-extensions is on, an "
                                        "administrator installs it for all users")
                             .arg(uuid, stateName(state),
                                 failure.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(failure));
                return false;
            } else {
                QThread::msleep(50);
            }
        }
    }
} // namespace

GnomeWindowSystem::GnomeWindowSystem(const QDBusConnection& bus)
    : m_bus(bus)
{
    m_retry.setInterval(RetryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (ensureEnabled(m_bus, &m_error, 0))
            requestList();
        if (--m_retriesLeft <= 0)
            m_retry.stop();
    });
    if (!m_bus.isConnected()) {
        m_error = QStringLiteral("no session bus");
        return;
    }
    listen(true);
    auto* watcher = new QDBusServiceWatcher(service(), m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(
        watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &GnomeWindowSystem::onShellOwnerChanged);
    requestList();
}

GnomeWindowSystem::~GnomeWindowSystem()
{
    if (m_bus.isConnected())
        listen(false);
}

void GnomeWindowSystem::hookSignals(
    QDBusConnection& bus, bool on, QObject* receiver, std::initializer_list<ShellSignal> hooks)
{
    // Naming the service makes Qt deliver only what its current owner sends.
    for (const ShellSignal& signal : hooks) {
        if (on)
            bus.connect(signal.service, signal.path, signal.interface, signal.name, receiver, signal.slot);
        else
            bus.disconnect(signal.service, signal.path, signal.interface, signal.name, receiver, signal.slot);
    }
}

void GnomeWindowSystem::listen(bool on)
{
    // Someone at the keyboard may switch the extension off; it goes back on.
    hookSignals(m_bus, on, this,
        {{service(), QString::fromLatin1(ExtensionPath), QString::fromLatin1(ExtensionInterface),
             QStringLiteral("WindowsChanged"), SLOT(onWindowsChanged())},
            {service(), ShellPath, ExtensionsInterface, QStringLiteral("ExtensionStateChanged"),
                SLOT(onExtensionStateChanged(QString, QVariantMap))}});
}

void GnomeWindowSystem::onWindowsChanged()
{
    requestList();
}

void GnomeWindowSystem::onExtensionStateChanged(const QString& uuid, const QVariantMap& state)
{
    if (uuid != ExtensionUuid || state.value(QStringLiteral("state")).toInt() == Enabled)
        return;
    m_windows.clear();
    m_reported = false;
    reportChange();
    startRetrying();
}

void GnomeWindowSystem::onShellOwnerChanged(const QString&, const QString&, const QString& newOwner)
{
    ++m_generation;
    m_requestPending = false;
    m_windows.clear();
    m_reported = false;
    reportChange();
    if (newOwner.isEmpty()) {
        m_retry.stop();
        m_error = QStringLiteral("GNOME Shell left the session bus");
        return;
    }
    startRetrying();
}

void GnomeWindowSystem::startRetrying()
{
    m_retriesLeft = Retries;
    m_retry.start();
}

void GnomeWindowSystem::requestList()
{
    if (m_requestPending) {
        m_changedMeanwhile = true;
        return;
    }
    m_requestPending = true;
    m_changedMeanwhile = false;
    const QDBusMessage call = QDBusMessage::createMethodCall(service(), QString::fromLatin1(ExtensionPath),
        QString::fromLatin1(ExtensionInterface), QStringLiteral("ListWindows"));
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
        [this, generation = m_generation](QDBusPendingCallWatcher* watcher) {
            watcher->deleteLater();
            // An answer of a shell that has gone since.
            if (generation != m_generation)
                return;
            m_requestPending = false;
            const QDBusPendingReply<QString> reply = *watcher;
            if (reply.isError()) {
                m_error = QStringLiteral("Tollgate's GNOME Shell extension does not answer: %1")
                              .arg(reply.error().message());
                if (!m_retry.isActive())
                    startRetrying();
            } else if (m_windows.update(reply.value().toUtf8())) {
                m_error.clear();
                m_retry.stop();
                m_reported = true;
                reportChange();
            }
            if (m_changedMeanwhile)
                requestList();
        });
}

bool GnomeWindowSystem::available(const QDBusConnection& bus, QString* error, bool compositorIsMutter)
{
    // Enabling takes the shell well under a second. A program started with the session
    // may come before the shell has taken its bus name.
    return ensureEnabled(bus, error, 2000, compositorIsMutter ? 10000 : 0);
}

bool GnomeWindowSystem::callOnWindow(WindowId window, const QString& method, const QVariantList& extra)
{
    const QString id = m_windows.compositorId(window);
    if (id.isEmpty() || !m_bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        service(), QString::fromLatin1(ExtensionPath), QString::fromLatin1(ExtensionInterface), method);
    call.setArguments(QVariantList {id} + extra);
    const QDBusReply<bool> reply = m_bus.call(call, QDBus::Block, CallTimeoutMs);
    return reply.isValid() && reply.value();
}

bool GnomeWindowSystem::postCloseRequest(WindowId window)
{
    return callOnWindow(window, QStringLiteral("CloseWindow"), {});
}

qint32 GnomeWindowSystem::setTopMost(WindowId window, bool onTop)
{
    const bool placed = callOnWindow(window, QStringLiteral("SetKeepAbove"), {onTop});
    // Our own windows go on top when they show and ask for the focus (a prompt to type
    // into). GNOME gives it to no client without recent input of its own: the shell does.
    if (placed && onTop && isOwnWindow(window, {}))
        callOnWindow(window, QStringLiteral("Activate"), {});
    return placed && onTop ? 1 : 0;
}

QList<CapabilityStatus> GnomeWindowSystem::capabilities()
{
    const bool working = m_error.isEmpty() && m_bus.isConnected();
    auto status = [&](Capability capability, const QString& how) {
        return CapabilityStatus {capability, working, working ? how : m_error};
    };
    return {status(Capability::ForegroundWindow,
                QStringLiteral("the focus window, from the GNOME Shell extension")),
        status(Capability::WindowTitles, QStringLiteral("window titles, from the GNOME Shell extension")),
        status(
            Capability::CloseRequests, QStringLiteral("the window's close request, through the extension")),
        status(Capability::TopMost, QStringLiteral("always on top, through the extension")),
        status(Capability::WindowProcessIds, QStringLiteral("the client's pid, from the extension")),
        status(Capability::WindowEvents, QStringLiteral("change signals of the GNOME Shell extension"))};
}

} // namespace Tollgate::Platform
