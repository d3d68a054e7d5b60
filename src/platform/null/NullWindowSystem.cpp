#include "NullWindowSystem.h"

namespace Tollgate::Platform {

NullWindowSystem::NullWindowSystem(QString reason)
    : m_reason(std::move(reason))
{ }

QList<CapabilityStatus> NullWindowSystem::capabilities()
{
    QList<CapabilityStatus> result;
    for (const Capability capability :
        {Capability::ForegroundWindow, Capability::WindowTitles, Capability::CloseRequests,
            Capability::TopMost, Capability::WindowProcessIds, Capability::WindowEvents})
        result.append({capability, false, m_reason});
    return result;
}

} // namespace Tollgate::Platform
