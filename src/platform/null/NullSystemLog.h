#pragma once

#include "platform/SystemLog.h"

namespace Tollgate::Platform {

// For platforms without a system log: messages go nowhere.
class NullSystemLog : public SystemLog
{
public:
    void write(Priority, const QString&, const SystemLogFields& = {}) override { }
    QString destination() const override { return QString(); }
};

} // namespace Tollgate::Platform
