#pragma once

#include "platform/Registry.h"
#include "profile/TextFile.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace Tollgate {

// The registry, kept as one text file per hive in the registry export format, so that an
// administrator can read, edit, import and export it. The user's files are written; the
// system-wide folders beneath them are only read.
class RegistryStore : public Platform::Registry
{
public:
    struct Location
    {
        QString userFolder;
        QStringList systemFolders; // searched in order, beneath the user's folder
    };

    // The folders in use: $TOLLGATE_REGISTRY_DIR (with its "system" subfolder as the system
    // layer) when set, else tollgate/registry below the XDG config home and config dirs.
    static Location locationFromEnvironment();

    explicit RegistryStore(Location location);

    static QString hiveFileName(Hive hive);
    static QString hiveRootName(Hive hive);

    // Whether the key exists in any layer; a key with an empty path is the hive's root.
    bool keyExists(Hive hive, const QString& keyPath) const override;
    // The value from the highest layer that has it.
    std::optional<Value> value(Hive hive, const QString& keyPath, const QString& name) const override;

    // Creates every missing key along the path and sets the value, under a lock and
    // through an atomic rewrite of the hive file. Returns a registry error code (0 = done).
    qint32 setValue(Hive hive, const QString& keyPath, const Value& value) override;

    QString userHivePath(Hive hive) const;

    // One hive file, parsed.
    struct Key
    {
        QString path; // as first written, without the root name
        QList<Value> values;
    };
    struct HiveData
    {
        QList<Key> keys;
        QHash<QString, int> index; // folded key path -> index into keys
        QStringList problems; // lines that could not be understood

        static HiveData parse(const QString& text, Hive hive);
        QString toText(Hive hive) const;
        const Key* find(const QString& keyPath) const;
        Key& ensure(const QString& keyPath);
    };

    static QString normalizeKeyPath(const QString& keyPath);

private:
    // Parsed again only when the file's contents changed: time stamps are too coarse to
    // tell two quick rewrites apart, and a read of a small file costs little.
    std::shared_ptr<const HiveData> load(const QString& path, Hive hive) const;
    QList<std::shared_ptr<const HiveData>> layers(Hive hive) const;

    struct Cached
    {
        QByteArray bytes;
        std::shared_ptr<const HiveData> data;
    };

    Location m_location;
    mutable QHash<QString, Cached> m_cache;
};

} // namespace Tollgate
