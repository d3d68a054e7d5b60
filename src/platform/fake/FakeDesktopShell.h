#pragma once

#include "platform/DesktopShell.h"

#include <QStringList>

namespace Tollgate::Platform {

// Records what would have been opened and registered.
class FakeDesktopShell : public DesktopShell
{
public:
    const QStringList& opened() const { return m_opened; }
    // The executable names registerFileType was called with, one per call.
    const QStringList& registrations() const { return m_registrations; }

    void open(const QString& pathOrAddress) override { m_opened.append(pathOrAddress); }
    void registerFileType(SettingsStore&, const ProgramPaths&, const QString& executableName) override
    {
        m_registrations.append(executableName);
    }

private:
    QStringList m_opened;
    QStringList m_registrations;
};

} // namespace Tollgate::Platform
