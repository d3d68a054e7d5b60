#include "NullInputDevices.h"

namespace Tollgate::Platform {

NullInputDevices::NullInputDevices(QString reason)
    : m_reason(std::move(reason))
{ }

QList<CapabilityStatus> NullInputDevices::capabilities()
{
    QList<CapabilityStatus> result;
    for (const Capability capability : {Capability::KeyActivity, Capability::Cursor, Capability::ScreenSize})
        result.append({capability, false, m_reason});
    return result;
}

} // namespace Tollgate::Platform
