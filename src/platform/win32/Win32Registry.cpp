#include "Win32Registry.h"

#include "Win32Handle.h"

#include <vector>

namespace Tollgate::Platform {

namespace {

    const wchar_t* wide(const QString& text)
    {
        return reinterpret_cast<const wchar_t*>(text.utf16());
    }

    QString normalized(const QString& keyPath)
    {
        qsizetype begin = 0;
        qsizetype end = keyPath.size();
        while (begin < end && keyPath.at(begin) == u'\\')
            ++begin;
        while (end > begin && keyPath.at(end - 1) == u'\\')
            --end;
        return keyPath.mid(begin, end - begin);
    }

    HKEY readRoot(Registry::Hive hive)
    {
        switch (hive) {
        case Registry::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case Registry::CurrentUser:
            return HKEY_CURRENT_USER;
        case Registry::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case Registry::Users:
            return HKEY_USERS;
        case Registry::CurrentConfig:
            return HKEY_CURRENT_CONFIG;
        case Registry::DynData:
        case Registry::HiveCount:
            break;
        }
        return nullptr;
    }

    bool isText(quint32 type)
    {
        return type == Registry::Sz || type == Registry::ExpandSz;
    }

    // UTF-16 as the registry keeps it, to UTF-8 with one terminating zero; the text ends
    // at its first zero, and a missing terminator (the registry does not insist) is added.
    QByteArray textFromRegistry(const QByteArray& bytes)
    {
        QString text = QString::fromUtf16(
            reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / qsizetype(sizeof(char16_t)));
        const qsizetype zero = text.indexOf(QChar(u'\0'));
        if (zero >= 0)
            text.truncate(zero);
        return text.toUtf8() + '\0';
    }

    QByteArray textToRegistry(const QByteArray& utf8)
    {
        const qsizetype zero = utf8.indexOf('\0');
        const QString text = QString::fromUtf8(zero < 0 ? utf8 : utf8.left(zero));
        QByteArray bytes(
            reinterpret_cast<const char*>(text.utf16()), text.size() * qsizetype(sizeof(char16_t)));
        bytes.append(2, '\0');
        return bytes;
    }

    bool openable(HKEY root, const QString& path)
    {
        RegistryKey key;
        return ::RegOpenKeyExW(root, wide(path), 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
    }

    std::optional<Registry::Value> readValue(HKEY root, const QString& path, const QString& name)
    {
        RegistryKey key;
        if (::RegOpenKeyExW(root, wide(path), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
            return std::nullopt;
        const wchar_t* valueName = name.isEmpty() ? nullptr : wide(name);
        // The value may grow between asking for its size and reading it.
        DWORD type = REG_NONE;
        DWORD size = 0;
        LSTATUS status = ::RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size);
        QByteArray bytes;
        for (int attempt = 0; attempt < 4 && status == ERROR_SUCCESS; ++attempt) {
            bytes.resize(qsizetype(size));
            DWORD read = size;
            status = ::RegQueryValueExW(
                key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &read);
            if (status == ERROR_SUCCESS) {
                bytes.resize(qsizetype(read));
                break;
            }
            if (status == ERROR_MORE_DATA) {
                size = read;
                status = ERROR_SUCCESS;
            }
        }
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        Registry::Value result;
        result.name = name;
        result.type = type;
        result.data = isText(type) ? textFromRegistry(bytes) : bytes;
        return result;
    }

    // The user's own classes: the part of HKEY_CLASSES_ROOT a user may write, and the part
    // that comes first in it. Wine does not merge them into HKEY_CLASSES_ROOT, so they
    // are read here first.
    QString userClasses(const QString& path)
    {
        return path.isEmpty() ? QStringLiteral("Software\\Classes")
                              : QStringLiteral("Software\\Classes\\") + path;
    }

} // namespace

bool Win32Registry::keyExists(Hive hive, const QString& keyPath) const
{
    const HKEY root = readRoot(hive);
    if (!root)
        return false;
    const QString path = normalized(keyPath);
    return (hive == ClassesRoot && openable(HKEY_CURRENT_USER, userClasses(path))) || openable(root, path);
}

std::optional<Registry::Value> Win32Registry::value(
    Hive hive, const QString& keyPath, const QString& name) const
{
    const HKEY root = readRoot(hive);
    if (!root)
        return std::nullopt;
    const QString path = normalized(keyPath);
    // A key of the user's classes hides the machine's key of the same name, values and all.
    if (hive == ClassesRoot && openable(HKEY_CURRENT_USER, userClasses(path)))
        return readValue(HKEY_CURRENT_USER, userClasses(path), name);
    return readValue(root, path, name);
}

qint32 Win32Registry::setValue(Hive hive, const QString& keyPath, const Value& value)
{
    HKEY root = readRoot(hive);
    if (!root)
        return ERROR_INVALID_HANDLE;
    QString path = normalized(keyPath);
    if (hive == ClassesRoot) {
        root = HKEY_CURRENT_USER;
        path = userClasses(path);
    }
    RegistryKey key;
    LSTATUS status = ::RegCreateKeyExW(root, wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
        nullptr, key.receive(), nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    const QByteArray bytes = isText(value.type) ? textToRegistry(value.data) : value.data;
    status = ::RegSetValueExW(key.get(), value.name.isEmpty() ? nullptr : wide(value.name), 0, value.type,
        reinterpret_cast<const BYTE*>(bytes.constData()), DWORD(bytes.size()));
    return status;
}

qint32 Win32Registry::removeKey(Hive hive, const QString& keyPath)
{
    const HKEY root = readRoot(hive);
    const QString path = normalized(keyPath);
    // The hive itself is never removed.
    if (!root || path.isEmpty())
        return ERROR_INVALID_HANDLE;
    return ::RegDeleteTreeW(root, wide(path));
}

} // namespace Tollgate::Platform
