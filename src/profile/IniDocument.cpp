#include "IniDocument.h"

#include "TextFile.h"

namespace Tollgate {

namespace {

    // The name between "[" and "]" of a section header line, or nothing.
    std::optional<QString> headerName(QStringView line)
    {
        const QStringView trimmed = line.trimmed();
        if (!trimmed.startsWith(u'['))
            return std::nullopt;
        const qsizetype close = trimmed.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        return trimmed.mid(1, close - 1).trimmed().toString();
    }

    bool isComment(QStringView trimmed)
    {
        return trimmed.startsWith(u';');
    }

} // namespace

IniDocument IniDocument::parse(const QString& text)
{
    IniDocument doc;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype lf = text.indexOf(u'\n', start);
        if (lf < 0) {
            doc.m_lines.append({text.mid(start), QString()});
            break;
        }
        const bool crlf = lf > start && text.at(lf - 1) == u'\r';
        const qsizetype lineEnd = crlf ? lf - 1 : lf;
        doc.m_lines.append(
            {text.mid(start, lineEnd - start), crlf ? QStringLiteral("\r\n") : QStringLiteral("\n")});
        start = lf + 1;
    }
    doc.reindex();
    return doc;
}

void IniDocument::reindex()
{
    m_sections.clear();
    m_sectionIndex.clear();
    Section* current = nullptr;
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString& line = m_lines.at(i).text;
        if (const auto name = headerName(line)) {
            if (current)
                current->end = i;
            Section section;
            section.header = i;
            section.end = i + 1;
            m_sections.append(section);
            current = &m_sections.last();
            if (!m_sectionIndex.contains(fold(*name)))
                m_sectionIndex.insert(fold(*name), m_sections.size() - 1);
            continue;
        }
        if (!current)
            continue;
        current->end = i + 1;
        const QStringView trimmed = QStringView(line).trimmed();
        const qsizetype eq = trimmed.indexOf(u'=');
        if (trimmed.isEmpty() || isComment(trimmed) || eq <= 0)
            continue;
        const QString name = fold(trimmed.left(eq).trimmed().toString());
        if (name.isEmpty())
            continue;
        current->lastEntry = i;
        if (!current->entries.contains(name))
            current->entries.insert(name, i);
    }
}

const IniDocument::Section* IniDocument::findSection(const QString& name) const
{
    const auto it = m_sectionIndex.constFind(fold(name.trimmed()));
    return it == m_sectionIndex.constEnd() ? nullptr : &m_sections.at(*it);
}

std::optional<QString> IniDocument::value(const QString& section, const QString& entry) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    const auto it = s->entries.constFind(fold(entry.trimmed()));
    if (it == s->entries.constEnd())
        return std::nullopt;
    const QString& line = m_lines.at(*it).text;
    return line.mid(line.indexOf(u'=') + 1).trimmed();
}

QString IniDocument::readString(const QString& section, const QString& entry, const QString& fallback) const
{
    const QString whole = value(section, entry).value_or(fallback);
    QString cut = TextFile::leftChars(whole, MaxValueChars);
    // A cut can end in blanks that the next read of the saved value would trim; drop them
    // now so that a cut value saved and read again stays the same.
    if (cut.size() < whole.size())
        while (!cut.isEmpty() && cut.back().isSpace())
            cut.chop(1);
    return cut;
}

QString IniDocument::singleLine(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

void IniDocument::setValue(const QString& section, const QString& entry, const QString& value)
{
    const QString sectionName = singleLine(section).trimmed();
    const QString entryName = singleLine(entry).trimmed();
    const QString line = entryName + u'=' + singleLine(value);
    const QString crlf = QStringLiteral("\r\n");

    const Section* s = findSection(sectionName);
    if (!s) {
        if (!m_lines.isEmpty() && m_lines.last().end.isEmpty())
            m_lines.last().end = crlf;
        m_lines.append({u'[' + sectionName + u']', crlf});
        m_lines.append({line, crlf});
        reindex();
        return;
    }
    const auto it = s->entries.constFind(fold(entryName));
    if (it != s->entries.constEnd()) {
        // Keep the name as the file spells it; only the value changes.
        Line& existing = m_lines[*it];
        const qsizetype eq = existing.text.indexOf(u'=');
        existing.text = existing.text.left(eq).trimmed() + u'=' + singleLine(value);
        return;
    }
    const int at = (s->lastEntry >= 0 ? s->lastEntry : s->header) + 1;
    if (m_lines.at(at - 1).end.isEmpty())
        m_lines[at - 1].end = crlf;
    m_lines.insert(at, {line, crlf});
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
