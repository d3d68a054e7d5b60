#include "SettingsStore.h"

#include "profile/TextFile.h"

#include <QFileInfo>

namespace Tollgate {

namespace {

    constexpr qint32 ErrorFileNotFound = 2;
    constexpr qint32 ErrorAccessDenied = 5;
    constexpr qint32 ErrorInvalidParameter = 87;
    constexpr qint32 ErrorMoreData = 234;

    // The cache holds a handful of files: the language file and the documents of a session.
    constexpr int MaxCachedIniFiles = 8;

    struct HiveName
    {
        const char16_t* abbreviation;
        quint32 handle;
        RegistryStore::Hive hive;
    };

    constexpr HiveName kHives[] = {
        {u"HKCU", 0x80000001, RegistryStore::CurrentUser},
        {u"HKLM", 0x80000002, RegistryStore::LocalMachine},
        {u"HKU", 0x80000003, RegistryStore::Users},
        {u"HKCC", 0x80000005, RegistryStore::CurrentConfig},
        {u"HKDD", 0x80000006, RegistryStore::DynData},
        {u"HKCR", 0x80000000, RegistryStore::ClassesRoot},
    };

    std::optional<RegistryStore::Hive> hiveOf(quint32 handle)
    {
        for (const HiveName& h : kHives) {
            if (h.handle == handle)
                return h.hive;
        }
        return std::nullopt;
    }

    QChar typeLetter(const QString& type)
    {
        return type.isEmpty() ? QChar() : type.at(0).toUpper();
    }

    bool isType(const QString& type, char16_t letter)
    {
        return type.size() == 1 && typeLetter(type) == QChar(letter);
    }

    bool toBool(const SettingValue& value)
    {
        if (const auto* b = std::get_if<bool>(&value))
            return *b;
        if (const auto* n = std::get_if<qint32>(&value))
            return *n != 0;
        const QString text = std::get<QString>(value).trimmed();
        if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const qint64 number = text.toLongLong(&ok);
        return ok && number != 0;
    }

    std::optional<qint64> toNumber(const SettingValue& value)
    {
        if (const auto* b = std::get_if<bool>(&value))
            return *b ? -1 : 0;
        if (const auto* n = std::get_if<qint32>(&value))
            return *n;
        bool ok = false;
        const qint64 number = std::get<QString>(value).trimmed().toLongLong(&ok);
        return ok ? std::optional<qint64>(number) : std::nullopt;
    }

} // namespace

SettingsStore::SettingsStore(RegistryStore::Location location)
    : m_registry(std::make_shared<RegistryStore>(std::move(location)))
{ }

SettingsStore::SettingsStore(std::shared_ptr<Platform::Registry> registry)
    : m_registry(std::move(registry))
{ }

quint32 SettingsStore::GetHiveKey(const QString& store)
{
    const QString upper = store.toUpper();
    for (const HiveName& h : kHives) {
        if (upper == QStringView(h.abbreviation))
            return h.handle;
    }
    return IniFileMarker;
}

std::shared_ptr<const IniDocument> SettingsStore::iniDocument(const QString& path) const
{
    static const auto empty = std::make_shared<const IniDocument>();
    const TextFile::BytesResult read = TextFile::readBytes(path);
    if (!read.ok) {
        m_iniCache.remove(path);
        return empty;
    }
    const auto it = m_iniCache.constFind(path);
    if (it != m_iniCache.constEnd() && it->bytes == read.bytes)
        return it->document;
    auto document = std::make_shared<const IniDocument>(IniDocument::parse(TextFile::decode(read.bytes)));
    if (m_iniCache.size() >= MaxCachedIniFiles && !m_iniCache.contains(path))
        m_iniCache.erase(m_iniCache.begin());
    m_iniCache.insert(path, CachedIni {read.bytes, document});
    return document;
}

SettingsStore::Read SettingsStore::ReadSetting(const QString& store, const QString& key, const QString& name,
    const QString& type, const SettingValue& defaultValue) const
{
    Read result {0, defaultValue};
    const quint32 root = GetHiveKey(store);
    if (root == IniFileMarker) {
        if (isType(type, u'S'))
            result.value = iniDocument(store)->readString(key, name, settingText(defaultValue));
        return result;
    }
    const RegistryStore::Hive hive = *hiveOf(root);
    if (!m_registry->keyExists(hive, key)) {
        result.status = ErrorFileNotFound;
        return result;
    }
    if (!isType(type, u'S') && !isType(type, u'B') && !isType(type, u'D'))
        return result;
    const auto value = m_registry->value(hive, key, name);
    if (!value) {
        result.status = ErrorFileNotFound;
        return result;
    }
    const QByteArray& data = value->data;
    switch (typeLetter(type).unicode()) {
    case u'S': {
        // Text ends at its terminating zero; bytes past an inner zero are not text.
        const qsizetype zero = data.indexOf('\0');
        result.value = TextFile::decode(zero < 0 ? data : data.left(zero));
        break;
    }
    case u'B':
        if (data.size() > 2) {
            result.status = ErrorMoreData;
            break;
        }
        result.value = data.count('\0') != data.size();
        break;
    default: {
        if (data.size() > 4) {
            result.status = ErrorMoreData;
            break;
        }
        quint32 number = 0;
        for (qsizetype i = data.size() - 1; i >= 0; --i)
            number = (number << 8) | static_cast<uchar>(data.at(i));
        result.value = static_cast<qint32>(number);
        break;
    }
    }
    return result;
}

qint32 SettingsStore::WriteSetting(const QString& store, const QString& key, const QString& name,
    const QString& type, const SettingValue& value)
{
    const quint32 root = GetHiveKey(store);
    if (root == IniFileMarker) {
        if (!isType(type, u'S'))
            return ErrorInvalidParameter;
        // A file that exists but cannot be read is never overwritten.
        IniDocument document;
        if (QFileInfo::exists(store)) {
            const TextFile::ReadResult read = TextFile::read(store);
            if (!read.ok)
                return ErrorAccessDenied;
            document = IniDocument::parse(read.text);
        }
        document.setValue(key, name, settingText(value));
        const QString error = TextFile::writeAtomically(store, document.toText().toUtf8());
        m_iniCache.remove(store);
        return error.isEmpty() ? 0 : ErrorAccessDenied;
    }
    RegistryStore::Value data;
    data.name = name;
    if (isType(type, u'S')) {
        data.type = RegistryStore::Sz;
        data.data = settingText(value).toUtf8() + '\0';
    } else if (isType(type, u'B')) {
        data.type = RegistryStore::Binary;
        data.data = toBool(value) ? QByteArray("\xFF\xFF", 2) : QByteArray(2, '\0');
    } else if (isType(type, u'D')) {
        const auto number = toNumber(value);
        // Only 16-bit whole numbers are stored, sign-extended to four bytes.
        if (!number || *number < -32768 || *number > 32767)
            return ErrorInvalidParameter;
        const auto word = static_cast<quint32>(static_cast<qint32>(*number));
        data.type = RegistryStore::Dword;
        for (int i = 0; i < 4; ++i)
            data.data.append(static_cast<char>((word >> (8 * i)) & 0xFF));
    } else {
        return ErrorInvalidParameter;
    }
    return m_registry->setValue(*hiveOf(root), key, data);
}

SettingValue SettingsStore::ReadIniText(const QString& text, const QString& section, const QString& entry,
    const QString& /*type*/, const SettingValue& defaultValue)
{
    // Line ends may be CR LF or LF alone; both end a section and a value.
    const QString header = u'[' + section + u']';
    const QString marker = entry + u'=';
    const qsizetype p = text.indexOf(header);
    if (p < 0)
        return defaultValue;
    qsizetype e = text.indexOf(QStringLiteral("\n["), p);
    if (e < 0)
        e = text.size();
    else if (e > p && text.at(e - 1) == u'\r')
        --e;
    const QStringView block = QStringView(text).mid(p, e - p);
    const qsizetype k = block.indexOf(marker);
    if (k < 0)
        return defaultValue;
    const qsizetype v = k + marker.size();
    qsizetype end = block.indexOf(u'\n', v);
    if (end < 0)
        end = block.size();
    else if (end > v && block.at(end - 1) == u'\r')
        --end;
    const QStringView value = block.mid(v, end - v);
    if (value.isEmpty())
        return defaultValue;
    return value.toString();
}

} // namespace Tollgate
