#pragma once

#include "platform/InputDevices.h"

#include <QDBusConnection>
#include <QObject>

namespace Tollgate::Platform {

// Idle time and the corner gesture on GNOME Shell, which tells Wayland clients neither where
// the pointer is nor which keys are down. mutter's idle monitor says when IdleGranularityMs
// passed without input and when input came back; the user counts as active in between. The
// Tollgate extension says when the pointer reached the primary monitor's bottom-right
// corner: cursorPosition() then answers a position inside the corner once.
class GnomeInputDevices : public QObject, public InputDevices
{
    Q_OBJECT

public:
    static constexpr int IdleGranularityMs = 1000;

    explicit GnomeInputDevices(const QDBusConnection& bus);
    ~GnomeInputDevices() override;

    QPoint cursorPosition() override;
    bool setCursorPosition(QPoint position) override;
    QSize primaryScreenSize() override { return m_screen; }
    bool keyActive(int virtualKey) override;
    QList<CapabilityStatus> capabilities() override;

    // Whether mutter's idle monitor has taken our watch.
    bool watchingIdle() const { return m_idleWatch != 0; }

private slots:
    void onCornerEntered(int width, int height);
    void onWatchFired(uint id);
    void onShellOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    // Starts or stops taking the shell's signals.
    void listen(bool on);
    // Asks the idle monitor to tell when the user goes idle.
    void watchForIdle();
    // Asks mutter for a watch; its number, 0 when mutter refused or did not answer.
    uint addWatch(const QString& method, const QVariantList& arguments);
    void readScreenSize();

    QDBusConnection m_bus;
    QSize m_screen;
    QPoint m_restingPosition;
    uint m_idleWatch = 0;
    uint m_activeWatch = 0;
    bool m_cornerEntered = false;
    bool m_idle = false;
    bool m_resumedSinceQuery = false;
};

} // namespace Tollgate::Platform
