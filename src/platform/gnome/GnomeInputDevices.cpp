#include "GnomeInputDevices.h"

#include "GnomeWindowSystem.h"

#include <QDBusReply>
#include <QDBusServiceWatcher>

namespace Tollgate::Platform {

namespace {
    // mutter's idle monitor lives in the GNOME Shell process.
    const QString IdleService = QStringLiteral("org.gnome.Mutter.IdleMonitor");
    const QString IdlePath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
    const QString IdleInterface = QStringLiteral("org.gnome.Mutter.IdleMonitor");
    constexpr int CallTimeoutMs = 2000;
} // namespace

GnomeInputDevices::GnomeInputDevices(const QDBusConnection& bus)
    : m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    listen(true);
    auto* watcher
        = new QDBusServiceWatcher(IdleService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(
        watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &GnomeInputDevices::onShellOwnerChanged);
    watchForIdle();
    readScreenSize();
}

GnomeInputDevices::~GnomeInputDevices()
{
    if (m_bus.isConnected())
        listen(false);
}

void GnomeInputDevices::listen(bool on)
{
    GnomeWindowSystem::hookSignals(m_bus, on, this,
        {{QString::fromLatin1(GnomeWindowSystem::ShellService),
             QString::fromLatin1(GnomeWindowSystem::ExtensionPath),
             QString::fromLatin1(GnomeWindowSystem::ExtensionInterface), QStringLiteral("CornerEntered"),
             SLOT(onCornerEntered(int, int))},
            {IdleService, IdlePath, IdleInterface, QStringLiteral("WatchFired"), SLOT(onWatchFired(uint))}});
}

void GnomeInputDevices::onShellOwnerChanged(const QString&, const QString&, const QString& newOwner)
{
    // The watches went with the old shell.
    m_idleWatch = m_activeWatch = 0;
    m_idle = false;
    if (newOwner.isEmpty())
        return;
    watchForIdle();
    readScreenSize();
}

uint GnomeInputDevices::addWatch(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(IdleService, IdlePath, IdleInterface, method);
    call.setArguments(arguments);
    const QDBusReply<uint> reply = m_bus.call(call, QDBus::Block, CallTimeoutMs);
    return reply.isValid() ? reply.value() : 0;
}

void GnomeInputDevices::watchForIdle()
{
    m_idleWatch = addWatch(QStringLiteral("AddIdleWatch"), {QVariant::fromValue(quint64(IdleGranularityMs))});
}

void GnomeInputDevices::onWatchFired(uint id)
{
    if (id == 0)
        return;
    if (id == m_idleWatch) {
        m_idle = true;
        // Fires once, at the next input, and is gone then.
        m_activeWatch = addWatch(QStringLiteral("AddUserActiveWatch"), {});
    } else if (id == m_activeWatch) {
        m_activeWatch = 0;
        m_idle = false;
        m_resumedSinceQuery = true;
    }
}

void GnomeInputDevices::readScreenSize()
{
    const QDBusMessage call
        = QDBusMessage::createMethodCall(QString::fromLatin1(GnomeWindowSystem::ShellService),
            QString::fromLatin1(GnomeWindowSystem::ExtensionPath),
            QString::fromLatin1(GnomeWindowSystem::ExtensionInterface), QStringLiteral("PrimaryMonitor"));
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, CallTimeoutMs);
    const QList<QVariant> size = reply.arguments();
    // A restarting shell may not have loaded the extension yet; the corner brings the size.
    if (reply.type() == QDBusMessage::ReplyMessage && size.size() == 2)
        m_screen = QSize(size.at(0).toInt(), size.at(1).toInt());
}

void GnomeInputDevices::onCornerEntered(int width, int height)
{
    if (width > 0 && height > 0)
        m_screen = QSize(width, height);
    m_cornerEntered = true;
    reportChange();
}

QPoint GnomeInputDevices::cursorPosition()
{
    if (m_cornerEntered && !m_screen.isEmpty()) {
        m_cornerEntered = false;
        return QPoint(m_screen.width() - 1, m_screen.height() - 1);
    }
    return m_restingPosition;
}

bool GnomeInputDevices::setCursorPosition(QPoint position)
{
    // No client may move the pointer; what we answer moves, as after a real warp.
    m_restingPosition = position;
    return false;
}

bool GnomeInputDevices::keyActive(int virtualKey)
{
    if (virtualKey < FirstPolledKey || virtualKey > LastPolledKey)
        return false;
    // Without the idle monitor the user always counts as active: no false timeouts.
    if (!m_idleWatch)
        return true;
    const bool active = !m_idle || m_resumedSinceQuery;
    m_resumedSinceQuery = false;
    return active;
}

QList<CapabilityStatus> GnomeInputDevices::capabilities()
{
    const bool idle = m_idleWatch != 0;
    const bool corner = !m_screen.isEmpty();
    const QString noExtension = QStringLiteral("the GNOME Shell extension does not answer");
    return {
        {Capability::KeyActivity, idle,
            idle ? QStringLiteral("mutter's idle monitor, any input within %1 ms").arg(IdleGranularityMs)
                 : QStringLiteral("mutter's idle monitor does not answer: the user always counts as active")},
        {Capability::Cursor, corner,
            corner ? QStringLiteral(
                "no pointer position on Wayland; the GNOME Shell extension reports the corner")
                   : noExtension},
        {Capability::ScreenSize, corner,
            corner ? QStringLiteral("%1 x %2, from the GNOME Shell extension")
                         .arg(m_screen.width())
                         .arg(m_screen.height())
                   : noExtension}};
}

} // namespace Tollgate::Platform
