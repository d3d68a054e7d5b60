// Tollgate's side of the profile comparison: reads the lines profile-read.exe printed and
// prints them again with the value that Tollgate's settings store reads for the same
// section, entry and default, in the same escaped form.
#include "profile/TextFile.h"
#include "store/SettingsStore.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTextStream>
#include <cstdio>

using namespace Tollgate;

namespace {

QByteArray unescape(const QByteArray& text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '\\' && i + 3 < text.size() && text.at(i + 1) == 'x') {
            bytes.append(char(text.mid(i + 2, 2).toInt(nullptr, 16)));
            i += 3;
        } else {
            bytes.append(text.at(i));
        }
    }
    return bytes;
}

QByteArray escape(const QByteArray& bytes)
{
    QByteArray text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7e || b == '\\' || b == '\t')
            text += "\\x" + QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
        else
            text += c;
    }
    return text;
}

// The bytes the profile service hands out are the file's own: text that Tollgate read as
// UTF-8 goes back as UTF-8, anything else as Windows-1252.
struct FileCoding
{
    bool utf8 = true;

    QString decode(const QByteArray& bytes) const
    {
        return utf8 ? QString::fromUtf8(bytes) : TextFile::decodeWindows1252(bytes);
    }

    QByteArray encode(const QString& text) const
    {
        if (utf8)
            return text.toUtf8();
        static QHash<QChar, char> bytes;
        if (bytes.isEmpty())
            for (int b = 0; b < 256; ++b)
                bytes.insert(TextFile::decodeWindows1252(QByteArray(1, char(b))).at(0), char(b));
        QByteArray out;
        for (const QChar c : text)
            out.append(bytes.value(c, '?'));
        return out;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER < profile-read output\n", argv[0]);
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]);
    SettingsStore store;
    QFile in;
    QFile out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 2;
    QString path;
    FileCoding coding;
    while (!in.atEnd()) {
        const QByteArray line = in.readLine().chopped(1);
        if (line.startsWith("file ")) {
            path = folder + u'/' + QString::fromUtf8(line.mid(5));
            const QByteArray bytes = TextFile::readBytes(path).bytes;
            QStringDecoder utf8(QStringConverter::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = utf8.decode(bytes);
            coding.utf8 = !utf8.hasError();
            out.write(line + '\n');
            continue;
        }
        const QList<QByteArray> fields = line.mid(5).split('\t');
        if (!line.startsWith("read ") || fields.size() != 4) {
            std::fprintf(stderr, "profile-read: unexpected line: %s\n", line.constData());
            return 2;
        }
        const QString value = settingText(
            store
                .ReadSetting(path, coding.decode(unescape(fields[0])), coding.decode(unescape(fields[1])),
                    QStringLiteral("s"), coding.decode(unescape(fields[2])))
                .value);
        out.write("read " + fields[0] + '\t' + fields[1] + '\t' + fields[2] + '\t'
            + escape(coding.encode(value)) + '\n');
    }
    return 0;
}
