#include "Win32ProgramFiles.h"

#include "Win32Handle.h"

#include <memory>
#include <vector>

namespace Tollgate::Platform {

namespace {

    const wchar_t* wide(const QString& text)
    {
        return reinterpret_cast<const wchar_t*>(text.utf16());
    }

    // One value of a version resource's string table, as a bounded text.
    QString versionString(const std::vector<char>& resource, const QString& name)
    {
        struct Translation
        {
            WORD language;
            WORD codePage;
        };
        Translation* translations = nullptr;
        UINT length = 0;
        QList<Translation> tried;
        if (::VerQueryValueW(resource.data(), L"\\VarFileInfo\\Translation",
                reinterpret_cast<void**>(&translations), &length))
            for (UINT i = 0; i < length / sizeof(Translation) && i < 16; ++i)
                tried.append(translations[i]);
        // US English in Unicode: what resources without a translation list mostly have.
        tried.append({0x0409, 0x04B0});
        for (const Translation& translation : std::as_const(tried)) {
            const QString key = QStringLiteral("\\StringFileInfo\\%1%2\\%3")
                                    .arg(translation.language, 4, 16, QLatin1Char('0'))
                                    .arg(translation.codePage, 4, 16, QLatin1Char('0'))
                                    .arg(name);
            wchar_t* value = nullptr;
            UINT characters = 0;
            if (::VerQueryValueW(resource.data(), wide(key), reinterpret_cast<void**>(&value), &characters)
                && value && characters > 0)
                return QString::fromWCharArray(
                    value, qsizetype(wcsnlen(value, std::min<UINT>(characters, MAX_PATH))));
        }
        return {};
    }

} // namespace

QString Win32ProgramFiles::imagePath(ProcessId pid)
{
    const KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid)));
    if (!process)
        return {};
    std::vector<wchar_t> buffer(32768);
    DWORD size = DWORD(buffer.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &size))
        return {};
    return QString::fromWCharArray(buffer.data(), size);
}

std::optional<ProgramFile> Win32ProgramFiles::open(const QString& path)
{
    // Shared for everything, so that the guard never stands in the way of the program's
    // own update or removal.
    auto handle = std::make_shared<KernelHandle>(
        ::CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!*handle || !::GetFileInformationByHandle(handle->get(), &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    ProgramFile file;
    file.path = path;
    file.device = info.dwVolumeSerialNumber;
    file.inode = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    file.modifiedNs
        = qint64((quint64(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime)
        * 100;
    file.size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    file.originalName = originalName(path);
    file.read = [handle](qint64 offset, qint64 length) {
        QByteArray bytes(qsizetype(std::max<qint64>(0, length)), Qt::Uninitialized);
        qsizetype done = 0;
        while (done < bytes.size()) {
            OVERLAPPED at {};
            const quint64 position = quint64(offset + done);
            at.Offset = DWORD(position);
            at.OffsetHigh = DWORD(position >> 32);
            DWORD got = 0;
            const DWORD want = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 20));
            if (!::ReadFile(handle->get(), bytes.data() + done, want, &got, &at) || got == 0)
                break;
            done += got;
        }
        bytes.truncate(done);
        return bytes;
    };
    return file;
}

QString Win32ProgramFiles::originalName(const QString& path)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(wide(path), &ignored);
    if (size == 0 || size > MaxVersionResource)
        return {};
    std::vector<char> resource(size);
    if (!::GetFileVersionInfoW(wide(path), 0, size, resource.data()))
        return {};
    return versionString(resource, QStringLiteral("OriginalFilename")).trimmed();
}

} // namespace Tollgate::Platform
