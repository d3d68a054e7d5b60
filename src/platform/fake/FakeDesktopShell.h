#pragma once

#include "platform/DesktopShell.h"

#include <QStringList>

namespace Tollgate::Platform {

// Records what would have been opened and registered.
class FakeDesktopShell : public DesktopShell
{
public:
    const QStringList& opened() const { return m_opened; }
    // The program files registerFileType was called with, one per call.
    const QStringList& registrations() const { return m_registrations; }

    void open(const QString& pathOrAddress) override { m_opened.append(pathOrAddress); }
    void registerFileType(const FileTypeRegistration& registration) override
    {
        m_registrations.append(registration.programFile);
    }

private:
    QStringList m_opened;
    QStringList m_registrations;
};

} // namespace Tollgate::Platform
