#include "Win32DesktopShell.h"
#include "Win32EventLog.h"
#include "Win32InputDevices.h"
#include "Win32ProcessTable.h"
#include "Win32Registry.h"
#include "Win32SingleInstance.h"
#include "Win32WindowSystem.h"
#include "platform/PlatformFactory.h"

#include <cstdio>
#include <windows.h>

namespace Tollgate::Platform {

QString PlatformFactory::missingDisplay()
{
    // Every interactive Windows session has a desktop.
    return QString();
}

void PlatformFactory::useCallersConsole()
{
    // Output that goes to a pipe or a file already has somewhere to go.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out != nullptr && out != INVALID_HANDLE_VALUE) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::FILE* ignored = nullptr;
    freopen_s(&ignored, "CONOUT$", "w", stdout);
    freopen_s(&ignored, "CONOUT$", "w", stderr);
}

std::unique_ptr<SingleInstance> PlatformFactory::singleInstance()
{
    return std::make_unique<Win32SingleInstance>();
}

std::unique_ptr<StandardInput> PlatformFactory::standardInput()
{
    // No guard writes to a Windows program yet.
    return std::make_unique<StandardInput>();
}

bool PlatformFactory::protectProcess()
{
    // A process of the user's own account is the user's to debug on Windows.
    return true;
}

std::shared_ptr<Registry> PlatformFactory::systemRegistry()
{
    return std::make_shared<Win32Registry>();
}

ProgramConventions PlatformFactory::programConventions()
{
    ProgramConventions conventions;
    conventions.namesEndInExe = true;
    conventions.folderSeparator = u'\\';
    // The program the process table would start: the first reading that names one, else
    // the first word.
    conventions.programOf = [](const QString& commandLine) -> std::optional<QString> {
        if (commandLine.trimmed().isEmpty())
            return QString();
        const QList<Win32ProcessTable::ProgramSplit> splits = Win32ProcessTable::programSplits(commandLine);
        if (splits.isEmpty())
            return std::nullopt;
        for (const Win32ProcessTable::ProgramSplit& split : splits) {
            if (!Win32ProcessTable::resolveProgram(split.program).isEmpty())
                return split.program;
        }
        return splits.back().program;
    };
    conventions.programExists
        = [](const QString& program) { return !Win32ProcessTable::resolveProgram(program).isEmpty(); };
    return conventions;
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
