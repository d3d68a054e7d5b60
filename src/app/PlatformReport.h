#pragma once

#include <QTextStream>

namespace Tollgate::Platform {
class Platform;
}

namespace Tollgate {

// What --check-platform prints: the backend in use and, for each capability, whether it
// works in this session and why not.
class PlatformReport
{
public:
    static int print(Platform::Platform& platform, QTextStream& out);
};

} // namespace Tollgate
