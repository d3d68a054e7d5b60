#include "TextFile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>

namespace Tollgate::TextFile {

namespace {

    // Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unassigned bytes keep
    // their C1 control meaning, as Windows' own conversion does.
    constexpr char16_t kCp1252High[32] = {
        0x20AC,
        0x0081,
        0x201A,
        0x0192,
        0x201E,
        0x2026,
        0x2020,
        0x2021,
        0x02C6,
        0x2030,
        0x0160,
        0x2039,
        0x0152,
        0x008D,
        0x017D,
        0x008F,
        0x0090,
        0x2018,
        0x2019,
        0x201C,
        0x201D,
        0x2022,
        0x2013,
        0x2014,
        0x02DC,
        0x2122,
        0x0161,
        0x203A,
        0x0153,
        0x009D,
        0x017E,
        0x0178,
    };

} // namespace

QString decodeWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

QString decode(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const auto encoding
            = bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
        QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
        return decoder.decode(bytes.mid(2));
    }
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    // A system whose 8-bit text is UTF-8 (every Linux) has no code page of its own to offer.
    static const bool systemHasCodePage
        = QString(QStringDecoder(QStringConverter::System).decode(QByteArrayView("\xC3\xA9")))
        != QStringView(u"\u00E9");
    if (systemHasCodePage)
        return QStringDecoder(QStringConverter::System, QStringDecoder::Flag::Stateless).decode(view);
    return decodeWindows1252(view.toByteArray());
}

BytesResult readBytes(const QString& path, qint64 maxBytes)
{
    BytesResult result;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        result.error = QStringLiteral("no such file");
        return result;
    }
    if (!info.isFile()) {
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    if (info.size() > maxBytes) {
        result.error = QStringLiteral("file is larger than %1 bytes").arg(maxBytes);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    // In pieces: one read of maxBytes + 1 would set the whole limit aside for every small
    // file, which is costly under the sanitizers and wasteful anywhere.
    while (result.bytes.size() <= maxBytes) {
        const QByteArray piece = file.read(std::min<qint64>(64 * 1024, maxBytes + 1 - result.bytes.size()));
        if (piece.isEmpty())
            break;
        result.bytes += piece;
    }
    if (result.bytes.size() > maxBytes) {
        result.error = QStringLiteral("file is larger than %1 bytes").arg(maxBytes);
        result.bytes.clear();
        return result;
    }
    result.ok = true;
    return result;
}

ReadResult read(const QString& path, qint64 maxBytes)
{
    const BytesResult raw = readBytes(path, maxBytes);
    return ReadResult {raw.ok, raw.ok ? decode(raw.bytes) : QString(), raw.error};
}

QString writeAtomically(const QString& path, const QByteArray& bytes, const WriteOptions& options)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("not a regular file");
    const QFile::Permissions permissions = info.exists() ? info.permissions() : options.newFilePermissions;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // Set before any content exists, so a password-bearing file is never readable by others.
    file.setPermissions(permissions);
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error.isEmpty() ? QStringLiteral("short write") : error;
    }
    if (!file.commit())
        return file.errorString().isEmpty() ? QStringLiteral("could not replace the file")
                                            : file.errorString();
    return {};
}

QString leftChars(const QString& text, int maxChars)
{
    if (text.size() <= maxChars)
        return text;
    int chars = 0;
    qsizetype i = 0;
    while (i < text.size() && chars < maxChars) {
        i += (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        ++chars;
    }
    return text.left(i);
}

} // namespace Tollgate::TextFile
