#include "PlatformReport.h"

#include "platform/Platform.h"

namespace Tollgate {

int PlatformReport::print(Platform::Platform& platform, QTextStream& out)
{
    out << "backend: " << platform.backendName() << "\n";
    for (const Platform::CapabilityStatus& status : platform.capabilities()) {
        out << Platform::capabilityName(status.capability) << ": "
            << (status.works ? "works" : "unavailable");
        if (!status.detail.isEmpty())
            out << " (" << status.detail << ")";
        out << "\n";
    }
    out.flush();
    return 0;
}

} // namespace Tollgate
