#include "NullInputDevices.h"

namespace Tollgate::Platform {

NullInputDevices::NullInputDevices(QString reason)
    : m_reason(std::move(reason))
{ }

QList<CapabilityStatus> NullInputDevices::capabilities()
{
    const QString noCorner = m_reason + QStringLiteral("; the corner gesture is off");
    return {{Capability::KeyActivity, false,
                m_reason + QStringLiteral("; the user counts as active, so nothing is closed as idle")},
        {Capability::Cursor, false, noCorner}, {Capability::ScreenSize, false, noCorner}};
}

} // namespace Tollgate::Platform
