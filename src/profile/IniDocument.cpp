#include "IniDocument.h"

#include "TextFile.h"

namespace Tollgate {

namespace {

    QStringView trimBlanks(QStringView text)
    {
        qsizetype from = 0;
        qsizetype to = text.size();
        while (from < to && IniDocument::isBlank(text.at(from)))
            ++from;
        while (to > from && IniDocument::isBlank(text.at(to - 1)))
            --to;
        return text.sliced(from, to - from);
    }

    // The service holds names and values as C strings.
    QStringView untilNul(QStringView text)
    {
        const qsizetype nul = text.indexOf(QChar(0));
        return nul < 0 ? text : text.first(nul);
    }

    // The name between "[" and the last "]" of a section header line, or nothing.
    std::optional<QStringView> headerName(QStringView line)
    {
        const QStringView trimmed = trimBlanks(line);
        if (!trimmed.startsWith(u'['))
            return std::nullopt;
        const qsizetype close = trimmed.lastIndexOf(u']');
        if (close < 0)
            return std::nullopt;
        return untilNul(trimBlanks(trimmed.sliced(1, close - 1)));
    }

    struct EntryLine
    {
        QStringView name; // as written, up to the first "=" or the whole line
        std::optional<QStringView> value;
    };

    EntryLine entryLine(QStringView line)
    {
        const QStringView trimmed = trimBlanks(line);
        const qsizetype eq = trimmed.indexOf(u'=');
        if (eq < 0)
            return {trimmed, std::nullopt};
        return {trimBlanks(trimmed.first(eq)), untilNul(trimBlanks(trimmed.sliced(eq + 1)))};
    }

    // Where new entries go: after the last line that looks like "name=value" and is no
    // comment, as it always was, so that the bytes written stay the same.
    bool placesEntries(QStringView line)
    {
        const QStringView trimmed = line.trimmed();
        const qsizetype eq = trimmed.indexOf(u'=');
        return !trimmed.startsWith(u';') && eq > 0 && !trimmed.first(eq).trimmed().isEmpty();
    }

    bool isQuoted(QStringView text)
    {
        return text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'')
            && text.back() == text.front();
    }

    bool longerThan(const QString& text, int chars)
    {
        return TextFile::leftChars(text, chars).size() < text.size();
    }

} // namespace

bool IniDocument::isBlank(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r') || u == 0x1A;
}

QString IniDocument::fold(QStringView name)
{
    QString folded = untilNul(name).toString();
    for (QChar& c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

IniDocument IniDocument::parse(const QString& text)
{
    IniDocument doc;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != u'\n' && text.at(end) != u'\r')
            ++end;
        if (end == text.size()) {
            doc.m_lines.append({text.mid(start), QString()});
            break;
        }
        const bool crlf = text.at(end) == u'\r' && end + 1 < text.size() && text.at(end + 1) == u'\n';
        const qsizetype breakSize = crlf ? 2 : 1;
        doc.m_lines.append({text.mid(start, end - start), text.mid(end, breakSize)});
        start = end + breakSize;
    }
    doc.reindex();
    return doc;
}

void IniDocument::reindex()
{
    m_sections = {Section()};
    m_sectionIndex = {{QString(), 0}};
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString& line = m_lines.at(i).text;
        if (const auto name = headerName(line)) {
            m_sections.last().end = i;
            Section section;
            section.header = i;
            section.end = i + 1;
            m_sections.append(section);
            if (!m_sectionIndex.contains(fold(*name)))
                m_sectionIndex.insert(fold(*name), m_sections.size() - 1);
            continue;
        }
        Section& current = m_sections.last();
        current.end = i + 1;
        if (trimBlanks(line).isEmpty())
            continue;
        if (placesEntries(line))
            current.lastEntry = i;
        const QString name = fold(entryLine(line).name);
        if (!current.entries.contains(name))
            current.entries.insert(name, i);
    }
}

const IniDocument::Section* IniDocument::findSection(const QString& name) const
{
    const auto it = m_sectionIndex.constFind(fold(trimBlanks(name)));
    return it == m_sectionIndex.constEnd() ? nullptr : &m_sections.at(*it);
}

std::optional<QString> IniDocument::value(const QString& section, const QString& entry) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    const auto it = s->entries.constFind(fold(trimBlanks(entry)));
    if (it == s->entries.constEnd())
        return std::nullopt;
    const auto stored = entryLine(m_lines.at(*it).text).value;
    return stored ? std::optional<QString>(stored->toString()) : std::nullopt;
}

QString IniDocument::readString(const QString& section, const QString& entry, const QString& fallback) const
{
    QString text;
    if (const auto stored = value(section, entry)) {
        text = *stored;
    } else {
        // The fallback loses its trailing spaces, though never its first character.
        text = untilNul(fallback).toString();
        while (text.size() > 1 && text.back() == u' ')
            text.chop(1);
    }
    // One pair of enclosing quotes goes; when the closing one is beyond the cut, only
    // the opening one, and at exactly one character beyond, the last one kept goes too.
    const bool quoted = isQuoted(text);
    if (quoted)
        text.remove(0, 1);
    const bool cut = longerThan(text, MaxValueChars);
    if (!cut) {
        if (quoted)
            text.chop(1);
        return text;
    }
    QString kept = TextFile::leftChars(
        text, quoted && !longerThan(text, MaxValueChars + 1) ? MaxValueChars - 1 : MaxValueChars);
    // A cut can end in blanks that the next read of the saved value would trim; drop them
    // now so that a cut value saved and read again stays the same.
    while (!kept.isEmpty() && isBlank(kept.back()))
        kept.chop(1);
    return kept;
}

QString IniDocument::singleLine(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

QString IniDocument::valueText(const QString& value)
{
    const QString line = singleLine(value);
    const QStringView read = untilNul(trimBlanks(line));
    return isQuoted(read) ? u'"' + read.toString() + u'"' : line;
}

void IniDocument::setValue(const QString& section, const QString& entry, const QString& value)
{
    const QString sectionName = trimBlanks(singleLine(section)).toString();
    const QString entryName = trimBlanks(singleLine(entry)).toString();
    const QString text = valueText(value);
    const QString crlf = QStringLiteral("\r\n");

    const Section* s = findSection(sectionName);
    if (!s) {
        if (!m_lines.isEmpty() && m_lines.last().end.isEmpty())
            m_lines.last().end = crlf;
        m_lines.append({u'[' + sectionName + u']', crlf});
        m_lines.append({entryName + u'=' + text, crlf});
        reindex();
        return;
    }
    const auto it = s->entries.constFind(fold(entryName));
    if (it != s->entries.constEnd()) {
        // Keep the name as the file spells it; only the value changes.
        Line& existing = m_lines[*it];
        existing.text = entryLine(existing.text).name.toString() + u'=' + text;
        reindex();
        return;
    }
    const int at = (s->lastEntry >= 0 ? s->lastEntry : s->header) + 1;
    if (at > 0 && m_lines.at(at - 1).end.isEmpty())
        m_lines[at - 1].end = crlf;
    m_lines.insert(at, {entryName + u'=' + text, crlf});
    reindex();
}

QString IniDocument::toText() const
{
    QString text;
    qsizetype size = 0;
    for (const Line& line : m_lines)
        size += line.text.size() + line.end.size();
    text.reserve(size);
    for (const Line& line : m_lines) {
        text += line.text;
        text += line.end;
    }
    return text;
}

} // namespace Tollgate
