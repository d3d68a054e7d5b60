#include "RegistryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

namespace Tollgate {

namespace {

    constexpr qint32 ErrorAccessDenied = 5;
    constexpr qint32 ErrorLockViolation = 33;

    const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");

    QString fold(const QString& text)
    {
        return text.toLower();
    }

    // A quoted string of the export format starting at text[pos] == '"'; pos ends past it.
    std::optional<QString> readQuoted(QStringView text, qsizetype& pos)
    {
        QString out;
        for (qsizetype i = pos + 1; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == u'\\' && i + 1 < text.size()) {
                out += text.at(++i);
            } else if (c == u'"') {
                pos = i + 1;
                return out;
            } else {
                out += c;
            }
        }
        return std::nullopt;
    }

    QString quoted(const QString& text)
    {
        QString out = text;
        out.replace(u'\\', QStringLiteral("\\\\"));
        out.replace(u'"', QStringLiteral("\\\""));
        return u'"' + out + u'"';
    }

    std::optional<QByteArray> parseHexBytes(QStringView list)
    {
        QByteArray bytes;
        for (const QStringView part : list.split(u',', Qt::SkipEmptyParts)) {
            bool ok = false;
            const QStringView digits = part.trimmed();
            const uint byte = digits.toUInt(&ok, 16);
            if (!ok || digits.size() > 2)
                return std::nullopt;
            bytes.append(static_cast<char>(byte));
        }
        return bytes;
    }

    QString hexBytes(const QByteArray& bytes)
    {
        QString out;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (i)
                out += u',';
            out += QString::number(static_cast<uchar>(bytes.at(i)), 16).rightJustified(2, u'0');
        }
        return out;
    }

    // Parses the right side of a value line; nothing when it is not understood.
    std::optional<RegistryStore::Value> parseData(QStringView data)
    {
        RegistryStore::Value value;
        if (data.startsWith(u'"')) {
            qsizetype pos = 0;
            const auto text = readQuoted(data, pos);
            if (!text || !data.mid(pos).trimmed().isEmpty())
                return std::nullopt;
            value.type = RegistryStore::Sz;
            value.data = text->toUtf8() + '\0';
            return value;
        }
        if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
            bool ok = false;
            const QStringView digits = data.mid(6).trimmed();
            const quint32 number = digits.toUInt(&ok, 16);
            if (!ok || digits.size() > 8)
                return std::nullopt;
            value.type = RegistryStore::Dword;
            for (int i = 0; i < 4; ++i)
                value.data.append(static_cast<char>((number >> (8 * i)) & 0xFF));
            return value;
        }
        if (data.startsWith(u"hex", Qt::CaseInsensitive)) {
            const qsizetype colon = data.indexOf(u':');
            if (colon < 0)
                return std::nullopt;
            const QStringView kind = data.mid(3, colon - 3);
            value.type = RegistryStore::Binary;
            if (!kind.isEmpty()) {
                bool ok = kind.size() > 2 && kind.startsWith(u'(') && kind.endsWith(u')');
                if (ok)
                    value.type = kind.mid(1, kind.size() - 2).toUInt(&ok, 16);
                if (!ok)
                    return std::nullopt;
            }
            const auto bytes = parseHexBytes(data.mid(colon + 1));
            if (!bytes)
                return std::nullopt;
            value.data = *bytes;
            return value;
        }
        return std::nullopt;
    }

    QString formatData(const RegistryStore::Value& value)
    {
        if (value.type == RegistryStore::Sz && value.data.endsWith('\0')) {
            const QByteArray body = value.data.left(value.data.size() - 1);
            const QString text = QString::fromUtf8(body);
            if (!body.contains('\0') && text.toUtf8() == body)
                return quoted(text);
        }
        if (value.type == RegistryStore::Dword && value.data.size() == 4) {
            quint32 number = 0;
            for (int i = 3; i >= 0; --i)
                number = (number << 8) | static_cast<uchar>(value.data.at(i));
            return QStringLiteral("dword:") + QString::number(number, 16).rightJustified(8, u'0');
        }
        if (value.type == RegistryStore::Binary)
            return QStringLiteral("hex:") + hexBytes(value.data);
        return QStringLiteral("hex(%1):").arg(value.type, 0, 16) + hexBytes(value.data);
    }

} // namespace

RegistryStore::Location RegistryStore::locationFromEnvironment()
{
    Location location;
    const QString override = qEnvironmentVariable("TOLLGATE_REGISTRY_DIR");
    if (!override.isEmpty()) {
        location.userFolder = override;
        location.systemFolders = {override + QStringLiteral("/system")};
        return location;
    }
    const QString sub = QStringLiteral("/tollgate/registry");
    location.userFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + sub;
    const QStringList configDirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (qsizetype i = 1; i < configDirs.size(); ++i)
        location.systemFolders.append(configDirs.at(i) + sub);
    return location;
}

RegistryStore::RegistryStore(Location location)
    : m_location(std::move(location))
{ }

QString RegistryStore::hiveRootName(Hive hive)
{
    switch (hive) {
    case ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case Users:
        return QStringLiteral("HKEY_USERS");
    case CurrentConfig:
        return QStringLiteral("HKEY_CURRENT_CONFIG");
    case DynData:
    case HiveCount:
        break;
    }
    return QStringLiteral("HKEY_DYN_DATA");
}

QString RegistryStore::hiveFileName(Hive hive)
{
    return hiveRootName(hive) + QStringLiteral(".reg");
}

QString RegistryStore::userHivePath(Hive hive) const
{
    return m_location.userFolder + u'/' + hiveFileName(hive);
}

QString RegistryStore::normalizeKeyPath(const QString& keyPath)
{
    return keyPath.split(u'\\', Qt::SkipEmptyParts).join(u'\\');
}

RegistryStore::HiveData RegistryStore::HiveData::parse(const QString& text, Hive hive)
{
    HiveData data;
    const QString root = hiveRootName(hive);
    Key* current = nullptr;
    bool skipping = false; // inside a key we cannot take, such as another hive's
    const QStringList rawLines = text.split(u'\n');
    bool headerSeen = false;
    for (qsizetype i = 0; i < rawLines.size(); ++i) {
        QString line = rawLines.at(i);
        if (line.endsWith(u'\r'))
            line.chop(1);
        // A trailing backslash continues a hex list on the next line.
        while (line.endsWith(u'\\') && !line.trimmed().startsWith(u'[') && i + 1 < rawLines.size()) {
            line.chop(1);
            QString next = rawLines.at(++i);
            if (next.endsWith(u'\r'))
                next.chop(1);
            line += next.trimmed();
        }
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';'))
            continue;
        if (!headerSeen) {
            headerSeen = true;
            if (trimmed == kHeader || trimmed == QStringLiteral("REGEDIT4"))
                continue;
            data.problems.append(QStringLiteral("line %1: not a registry file header").arg(i + 1));
        }
        if (trimmed.startsWith(u'[')) {
            current = nullptr;
            skipping = true;
            if (!trimmed.endsWith(u']')) {
                data.problems.append(QStringLiteral("line %1: bad key line").arg(i + 1));
                continue;
            }
            const QString full = trimmed.mid(1, trimmed.size() - 2);
            if (full.startsWith(u'-'))
                continue; // a deletion entry of an import file; nothing to hold
            if (full.compare(root, Qt::CaseInsensitive) == 0) {
                current = &data.ensure(QString());
            } else if (full.startsWith(root + u'\\', Qt::CaseInsensitive)) {
                current = &data.ensure(full.mid(root.size() + 1));
            } else {
                data.problems.append(QStringLiteral("line %1: key of another hive").arg(i + 1));
                continue;
            }
            skipping = false;
            continue;
        }
        if (skipping)
            continue;
        if (!current) {
            data.problems.append(QStringLiteral("line %1: value outside any key").arg(i + 1));
            continue;
        }
        QString name;
        qsizetype pos = 0;
        if (trimmed.startsWith(u'@')) {
            pos = 1;
        } else if (trimmed.startsWith(u'"')) {
            const auto quotedName = readQuoted(trimmed, pos);
            if (!quotedName) {
                data.problems.append(QStringLiteral("line %1: bad value name").arg(i + 1));
                continue;
            }
            name = *quotedName;
        } else {
            data.problems.append(QStringLiteral("line %1: not understood").arg(i + 1));
            continue;
        }
        const QStringView rest = QStringView(trimmed).mid(pos).trimmed();
        if (!rest.startsWith(u'=')) {
            data.problems.append(QStringLiteral("line %1: no value").arg(i + 1));
            continue;
        }
        const QStringView right = rest.mid(1).trimmed();
        if (right == u"-")
            continue; // deletion entry
        auto value = parseData(right);
        if (!value) {
            data.problems.append(QStringLiteral("line %1: bad value data").arg(i + 1));
            continue;
        }
        value->name = name;
        auto existing = std::find_if(current->values.begin(), current->values.end(),
            [&](const Value& v) { return v.name.compare(name, Qt::CaseInsensitive) == 0; });
        if (existing != current->values.end())
            *existing = *value;
        else
            current->values.append(*value);
    }
    return data;
}

QString RegistryStore::HiveData::toText(Hive hive) const
{
    const QString crlf = QStringLiteral("\r\n");
    const QString root = hiveRootName(hive);
    QString text = kHeader + crlf + crlf;
    for (const Key& key : keys) {
        text += u'[' + (key.path.isEmpty() ? root : root + u'\\' + key.path) + u']' + crlf;
        for (const Value& value : key.values)
            text += (value.name.isEmpty() ? QStringLiteral("@") : quoted(value.name)) + u'='
                + formatData(value) + crlf;
        text += crlf;
    }
    return text;
}

const RegistryStore::Key* RegistryStore::HiveData::find(const QString& keyPath) const
{
    const auto it = index.constFind(fold(normalizeKeyPath(keyPath)));
    return it == index.constEnd() ? nullptr : &keys.at(*it);
}

RegistryStore::Key& RegistryStore::HiveData::ensure(const QString& keyPath)
{
    // Every key along the path exists on its own, as the registry has it.
    const QStringList parts = normalizeKeyPath(keyPath).split(u'\\', Qt::SkipEmptyParts);
    QString path;
    int at = -1;
    for (qsizetype i = 0; i <= parts.size(); ++i) {
        if (i > 0)
            path += (i > 1 ? QStringLiteral("\\") : QString()) + parts.at(i - 1);
        if (i == 0 && !parts.isEmpty())
            continue; // the root needs no entry of its own unless it is asked for
        const QString folded = fold(path);
        const auto it = index.constFind(folded);
        if (it != index.constEnd()) {
            at = *it;
            continue;
        }
        keys.append(Key {path, {}});
        at = keys.size() - 1;
        index.insert(folded, at);
    }
    return keys[at];
}

std::shared_ptr<const RegistryStore::HiveData> RegistryStore::load(const QString& path, Hive hive) const
{
    const TextFile::BytesResult read = TextFile::readBytes(path);
    if (!read.ok) {
        m_cache.remove(path);
        return nullptr;
    }
    const auto it = m_cache.constFind(path);
    if (it != m_cache.constEnd() && it->bytes == read.bytes)
        return it->data;
    auto data = std::make_shared<const HiveData>(HiveData::parse(TextFile::decode(read.bytes), hive));
    m_cache.insert(path, Cached {read.bytes, data});
    return data;
}

QList<std::shared_ptr<const RegistryStore::HiveData>> RegistryStore::layers(Hive hive) const
{
    QList<std::shared_ptr<const HiveData>> result;
    if (auto user = load(userHivePath(hive), hive))
        result.append(user);
    for (const QString& folder : m_location.systemFolders) {
        if (auto system = load(folder + u'/' + hiveFileName(hive), hive))
            result.append(system);
    }
    return result;
}

bool RegistryStore::keyExists(Hive hive, const QString& keyPath) const
{
    if (normalizeKeyPath(keyPath).isEmpty())
        return true;
    // A key exists when it is listed or when a key below it is: hand-written files may
    // leave out the parents.
    const QString folded = fold(normalizeKeyPath(keyPath));
    const QString below = folded + u'\\';
    for (const auto& layer : layers(hive)) {
        for (auto it = layer->index.constBegin(); it != layer->index.constEnd(); ++it) {
            if (it.key() == folded || it.key().startsWith(below))
                return true;
        }
    }
    return false;
}

std::optional<RegistryStore::Value> RegistryStore::value(
    Hive hive, const QString& keyPath, const QString& name) const
{
    for (const auto& layer : layers(hive)) {
        const Key* key = layer->find(keyPath);
        if (!key)
            continue;
        for (const Value& value : key->values) {
            if (value.name.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        }
    }
    return std::nullopt;
}

qint32 RegistryStore::setValue(Hive hive, const QString& keyPath, const Value& value)
{
    if (!QDir().mkpath(m_location.userFolder))
        return ErrorAccessDenied;
    const QString path = userHivePath(hive);
    QLockFile lock(path + QStringLiteral(".lock"));
    // A writer killed between creating the lock file and writing its pid into it leaves a
    // lock that names no process: it counts as stale once this old, well before the wait
    // below ends. A rewrite takes milliseconds, so no live writer holds it this long.
    lock.setStaleLockTime(3000);
    if (!lock.tryLock(5000))
        return ErrorLockViolation;

    HiveData data;
    if (QFile::exists(path)) {
        const TextFile::ReadResult read = TextFile::read(path);
        if (!read.ok)
            return ErrorAccessDenied;
        data = HiveData::parse(read.text, hive);
        // Rewriting drops what we could not understand; keep the file as it was beside.
        if (!data.problems.isEmpty()) {
            const QString keep = path + QStringLiteral(".unreadable-")
                + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddhhmmsszzz"));
            if (!QFile::copy(path, keep))
                return ErrorAccessDenied;
        }
    }
    Key& key = data.ensure(keyPath);
    auto existing = std::find_if(key.values.begin(), key.values.end(),
        [&](const Value& v) { return v.name.compare(value.name, Qt::CaseInsensitive) == 0; });
    if (existing != key.values.end()) {
        existing->type = value.type;
        existing->data = value.data;
    } else {
        key.values.append(value);
    }
    TextFile::WriteOptions options;
    options.newFilePermissions = QFile::ReadOwner | QFile::WriteOwner;
    if (!TextFile::writeAtomically(path, data.toText(hive).toUtf8(), options).isEmpty())
        return ErrorAccessDenied;
    return 0;
}

} // namespace Tollgate
