#pragma once

#include "platform/WindowSystem.h"

namespace Tollgate::Platform {

// For sessions whose windows we cannot see: no windows, and every capability says why.
class NullWindowSystem : public WindowSystem
{
public:
    explicit NullWindowSystem(QString reason);

    WindowId foregroundWindow() override { return 0; }
    QString windowTitle(WindowId) override { return QString(); }
    bool postCloseRequest(WindowId) override { return false; }
    qint32 setTopMost(WindowId, bool) override { return 0; }
    QList<TopLevelWindow> topLevelWindows() override { return {}; }
    ProcessId windowProcessId(WindowId) override { return 0; }
    QList<CapabilityStatus> capabilities() override;

private:
    QString m_reason;
};

} // namespace Tollgate::Platform
