#pragma once

#include "platform/Registry.h"

namespace Tollgate::Platform {

// The Windows registry. ClassesRoot is read from HKEY_CLASSES_ROOT, the merged view of
// the machine's and the user's classes, but written to HKEY_CURRENT_USER\Software\Classes,
// the part a user without administrator rights may change. DynData, a hive of Windows 9x,
// does not exist: every access fails with ERROR_INVALID_HANDLE.
class Win32Registry : public Registry
{
public:
    bool keyExists(Hive hive, const QString& keyPath) const override;
    std::optional<Value> value(Hive hive, const QString& keyPath, const QString& name) const override;
    qint32 setValue(Hive hive, const QString& keyPath, const Value& value) override;

    // Removes a key and everything below it; a Windows error code. Tests clean up with it.
    qint32 removeKey(Hive hive, const QString& keyPath);
};

} // namespace Tollgate::Platform
