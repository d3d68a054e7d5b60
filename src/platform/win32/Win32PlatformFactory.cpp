#include "Win32DesktopShell.h"
#include "Win32EventLog.h"
#include "Win32InputDevices.h"
#include "Win32ProcessTable.h"
#include "Win32Registry.h"
#include "Win32SingleInstance.h"
#include "Win32WindowSystem.h"
#include "platform/PlatformFactory.h"

namespace Tollgate::Platform {

QString PlatformFactory::missingDisplay()
{
    // Every interactive Windows session has a desktop.
    return QString();
}

std::unique_ptr<SingleInstance> PlatformFactory::singleInstance()
{
    return std::make_unique<Win32SingleInstance>();
}

std::shared_ptr<Registry> PlatformFactory::systemRegistry()
{
    return std::make_shared<Win32Registry>();
}

std::unique_ptr<Platform> PlatformFactory::create()
{
    return create(QString(), QString(), QString());
}

// The display values of X11 and Wayland mean nothing here.
std::unique_ptr<Platform> PlatformFactory::create(const QString&, const QString&, const QString&)
{
    auto platform = std::make_unique<Platform>(QStringLiteral("win32"), std::make_unique<Win32WindowSystem>(),
        std::make_unique<Win32InputDevices>(), std::make_unique<Win32ProcessTable>(),
        std::make_unique<Win32DesktopShell>(), std::make_unique<Win32EventLog>());
    platform->setSystemRegistry(systemRegistry());
    return platform;
}

} // namespace Tollgate::Platform
