#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace Tollgate::Platform {

// The system's registry of named values: Windows' own, or on Linux Tollgate's hive files.
class Registry
{
public:
    enum Hive { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData, HiveCount };

    // Value types as the registry numbers them.
    enum ValueType : quint32 {
        None = 0,
        Sz = 1,
        ExpandSz = 2,
        Binary = 3,
        Dword = 4,
        MultiSz = 7,
        Qword = 11
    };

    struct Value
    {
        QString name; // empty for the key's default value
        quint32 type = Sz;
        // As the registry holds it, but Sz and ExpandSz text is UTF-8 with its terminating
        // zero whatever the system keeps.
        QByteArray data;
    };

    virtual ~Registry() = default;

    // Whether the key exists; a key with an empty path is the hive's root. Key paths use
    // backslashes; a leading or trailing one is ignored.
    virtual bool keyExists(Hive hive, const QString& keyPath) const = 0;
    virtual std::optional<Value> value(Hive hive, const QString& keyPath, const QString& name) const = 0;
    // Creates every missing key along the path and sets the value. Returns a Windows
    // error code (0 = done, 5 = access denied).
    virtual qint32 setValue(Hive hive, const QString& keyPath, const Value& value) = 0;
};

} // namespace Tollgate::Platform
