#pragma once

#include "platform/WindowSystem.h"

namespace Tollgate::Platform {

// Windows that a test sets up, with a record of what was asked of them. Like a desktop,
// it reports a change when a window comes or goes, the foreground moves or a title changes.
class FakeWindowSystem : public WindowSystem
{
public:
    struct TopMostCall
    {
        WindowId window = 0;
        bool onTop = false;
        friend bool operator==(const TopMostCall&, const TopMostCall&) = default;
    };

    // A new window on top of all others; returns its handle.
    WindowId addWindow(const QString& title, ProcessId pid, bool ownedPopup = false);
    void removeWindow(WindowId window);
    void removeWindowsOf(ProcessId pid);
    void setForegroundWindow(WindowId window);
    void setWindowTitle(WindowId window, const QString& title);
    bool isTopMost(WindowId window) const;

    const QList<WindowId>& closeRequests() const { return m_closeRequests; }
    const QList<TopMostCall>& topMostCalls() const { return m_topMostCalls; }

    WindowId foregroundWindow() override { return m_foreground; }
    QString windowTitle(WindowId window) override;
    bool postCloseRequest(WindowId window) override;
    qint32 setTopMost(WindowId window, bool onTop) override;
    QList<TopLevelWindow> topLevelWindows() override;
    ProcessId windowProcessId(WindowId window) override;
    QList<CapabilityStatus> capabilities() override;

private:
    struct Window
    {
        WindowId id = 0;
        QString title;
        ProcessId pid = 0;
        bool ownedPopup = false;
        bool topMost = false;
    };
    const Window* find(WindowId window) const;

    QList<Window> m_windows; // topmost first
    WindowId m_nextId = 0x100;
    WindowId m_foreground = 0;
    QList<WindowId> m_closeRequests;
    QList<TopMostCall> m_topMostCalls;
};

} // namespace Tollgate::Platform
