#pragma once

#include "RegistryStore.h"
#include "SettingValue.h"
#include "profile/IniDocument.h"

#include <QHash>
#include <memory>

namespace Tollgate {

// The one door to named settings. A store text that is a hive abbreviation ("HKCU",
// "HKLM", "HKU", "HKCC", "HKDD", "HKCR") selects the registry; anything else is the path
// of an INI file. Type letters: "S" text, "B" Boolean, "D" whole number.
class SettingsStore
{
public:
    static constexpr quint32 IniFileMarker = 1;

    struct Read
    {
        qint32 status = 0;
        SettingValue value;
    };

    // With Tollgate's own registry files.
    explicit SettingsStore(RegistryStore::Location location = RegistryStore::locationFromEnvironment());
    // With the system's registry (Windows').
    explicit SettingsStore(std::shared_ptr<Platform::Registry> registry);

    // The predefined root handle of a hive abbreviation, or IniFileMarker.
    static quint32 GetHiveKey(const QString& store);

    Read ReadSetting(const QString& store, const QString& key, const QString& name, const QString& type,
        const SettingValue& defaultValue) const;
    qint32 WriteSetting(const QString& store, const QString& key, const QString& name, const QString& type,
        const SettingValue& value);

    // Looks an entry up in INI text already in memory; the result is text or the default.
    static SettingValue ReadIniText(const QString& text, const QString& section, const QString& entry,
        const QString& type, const SettingValue& defaultValue);

    // The INI file parsed; parsed again only when its contents changed, so the result
    // always equals a fresh read. An empty document for a file that is missing or cannot
    // be read.
    std::shared_ptr<const IniDocument> iniDocument(const QString& path) const;

    Platform::Registry& registry() { return *m_registry; }

private:
    struct CachedIni
    {
        QByteArray bytes;
        std::shared_ptr<const IniDocument> document;
    };

    std::shared_ptr<Platform::Registry> m_registry;
    mutable QHash<QString, CachedIni> m_iniCache;
};

} // namespace Tollgate
