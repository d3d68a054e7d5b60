#include "CompoundText.h"

#include <QStringDecoder>

namespace Tollgate::Platform {

namespace {

    constexpr char Escape = 0x1b;

    // A character set as one half holds it: how its bytes become text.
    struct CharacterSet
    {
        const char* encoding = nullptr; // a decoder name; null for ASCII
        int width = 1; // bytes per character
        char prefix = 0; // a byte put before each character (JIS X 0212 in EUC-JP)
    };

    CharacterSet ninetySixSet(char final)
    {
        switch (final) {
        case 'A':
            return {"ISO-8859-1"};
        case 'B':
            return {"ISO-8859-2"};
        case 'C':
            return {"ISO-8859-3"};
        case 'D':
            return {"ISO-8859-4"};
        case 'F':
            return {"ISO-8859-7"};
        case 'G':
            return {"ISO-8859-6"};
        case 'H':
            return {"ISO-8859-8"};
        case 'L':
            return {"ISO-8859-5"};
        case 'M':
            return {"ISO-8859-9"};
        case 'T':
            return {"TIS-620"};
        case 'V':
            return {"ISO-8859-10"};
        case 'Y':
            return {"ISO-8859-13"};
        case '_':
            return {"ISO-8859-14"};
        case 'b':
            return {"ISO-8859-15"};
        case 'f':
            return {"ISO-8859-16"};
        }
        return {"ISO-8859-1"};
    }

    CharacterSet doubleByteSet(char final)
    {
        switch (final) {
        case 'A':
            return {"GB2312", 2};
        case 'B':
            return {"EUC-JP", 2};
        case 'C':
            return {"EUC-KR", 2};
        case 'D':
            return {"EUC-JP", 2, char(0x8f)};
        }
        return {"EUC-JP", 2};
    }

    QString decodeWith(const char* encoding, const QByteArray& bytes)
    {
        QStringDecoder decoder(encoding);
        if (!decoder.isValid())
            return QString(bytes.size(), QChar::ReplacementCharacter);
        return decoder(bytes);
    }

    // The pending bytes of one set, decoded together when the set changes.
    class Run
    {
    public:
        void add(const CharacterSet& set, QByteArray bytes, QString& out)
        {
            if (set.encoding != m_set.encoding || set.prefix != m_set.prefix)
                flush(out);
            m_set = set;
            if (set.prefix)
                m_bytes += set.prefix;
            m_bytes += bytes;
        }
        void flush(QString& out)
        {
            if (!m_bytes.isEmpty())
                out += m_set.encoding ? decodeWith(m_set.encoding, m_bytes) : QString::fromLatin1(m_bytes);
            m_bytes.clear();
        }

    private:
        CharacterSet m_set;
        QByteArray m_bytes;
    };

    // An encoding name of an extended segment ("iso8859-15", "big5-0") as decoders know it.
    QByteArray decoderName(QByteArrayView name)
    {
        QByteArray result = name.toByteArray().toUpper();
        if (result.endsWith("-0"))
            result.chop(2);
        if (result.startsWith("ISO8859"))
            result.insert(3, '-');
        return result;
    }

} // namespace

QString CompoundText::decode(QByteArrayView bytes)
{
    CharacterSet left; // ASCII
    CharacterSet right = ninetySixSet('A'); // Latin-1
    QString out;
    Run run;

    qsizetype i = 0;
    const qsizetype size = bytes.size();
    while (i < size) {
        const auto byte = quint8(bytes[i]);
        if (byte == quint8(Escape)) {
            // ESC, intermediate bytes 0x20-0x2F, one final byte 0x30-0x7E.
            qsizetype end = i + 1;
            while (end < size && quint8(bytes[end]) >= 0x20 && quint8(bytes[end]) <= 0x2f)
                ++end;
            if (end >= size)
                break;
            const QByteArrayView intermediates = bytes.sliced(i + 1, end - i - 1);
            const char final = bytes[end];
            i = end + 1;
            if (intermediates == "(") {
                left = CharacterSet();
            } else if (intermediates == "-") {
                right = ninetySixSet(final);
            } else if (intermediates == ")") {
                right = final == 'I' ? CharacterSet {"Shift_JIS"} : CharacterSet();
            } else if (intermediates == "$(") {
                left = doubleByteSet(final);
            } else if (intermediates == "$)") {
                right = doubleByteSet(final);
            } else if (intermediates == "%" && final == 'G') {
                // UTF-8 up to ESC % @.
                qsizetype stop = bytes.sliced(i).indexOf(QByteArrayView("\x1b%@"));
                stop = stop < 0 ? size : i + stop;
                run.flush(out);
                out += QString::fromUtf8(bytes.sliced(i, stop - i));
                i = qMin(size, stop + 3);
            } else if (intermediates == "%/" && i + 2 <= size) {
                // Extended segment: two length bytes, then "name STX data".
                const qsizetype length = (quint8(bytes[i]) & 0x7f) * 128 + (quint8(bytes[i + 1]) & 0x7f);
                const QByteArrayView segment = bytes.sliced(i + 2, qMin(length, size - i - 2));
                i += 2 + segment.size();
                const qsizetype stx = segment.indexOf('\x02');
                if (stx >= 0) {
                    run.flush(out);
                    out += decodeWith(
                        decoderName(segment.first(stx)).constData(), segment.sliced(stx + 1).toByteArray());
                }
            }
            continue;
        }
        if (byte == 0x9b) {
            // Direction control sequences carry no characters.
            ++i;
            while (i < size && quint8(bytes[i]) >= 0x20 && quint8(bytes[i]) <= 0x3f)
                ++i;
            ++i;
            continue;
        }
        const bool isRight = byte >= 0xa0;
        const bool isLeft = byte >= 0x20 && byte < 0x7f;
        if (!isLeft && !isRight) {
            if (byte == '\n' || byte == '\t') {
                run.flush(out);
                out += QLatin1Char(char(byte));
            }
            ++i;
            continue;
        }
        const CharacterSet& set = isRight ? right : left;
        if (!set.encoding) {
            run.add(set, QByteArray(1, char(byte)), out);
            ++i;
            continue;
        }
        if (i + set.width > size)
            break;
        // Double-byte sets are decoded as EUC, which is the same set with the high bit set.
        QByteArray character = bytes.sliced(i, set.width).toByteArray();
        for (char& c : character)
            c = char(quint8(c) | 0x80);
        run.add(set, character, out);
        i += set.width;
    }
    run.flush(out);
    return out;
}

} // namespace Tollgate::Platform
