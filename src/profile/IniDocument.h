#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace Tollgate {

// An INI file held line by line, read the way the Windows profile service reads one
// (section and entry names without regard to case, blanks around names and values
// trimmed, the first section and the first entry of a name win) and changed one line at
// a time, so that blank lines, comments and other entries stay exactly as they were.
class IniDocument
{
public:
    // The most characters a profile read delivers (a 255-byte buffer with its terminator).
    static constexpr int MaxValueChars = 254;

    IniDocument() = default;
    static IniDocument parse(const QString& text);

    // The entry's value, trimmed; nothing when the section or the entry is missing.
    std::optional<QString> value(const QString& section, const QString& entry) const;

    // A profile string read: the value or, when missing, the fallback, cut to MaxValueChars.
    QString readString(const QString& section, const QString& entry, const QString& fallback) const;

    // Replaces the entry's value in place, or adds the entry after the last entry of its
    // section (comments and blank lines before the next section stay there),
    // or the section at the end of the document. Line breaks in any of the texts would
    // break the line structure, so each becomes a blank.
    void setValue(const QString& section, const QString& entry, const QString& value);

    // The document as text; lines added by setValue end in CR LF.
    QString toText() const;

    static QString singleLine(QString text);

private:
    struct Line
    {
        QString text;
        QString end; // "\r\n", "\n" or empty for a last line without a break
    };
    struct Section
    {
        int header = -1; // line index of the header
        int end = 0; // one past its last line
        int lastEntry = -1; // line index of its last entry line, -1 for none
        QHash<QString, int> entries; // folded entry name -> line index, first wins
    };

    void reindex();
    const Section* findSection(const QString& name) const;
    static QString fold(const QString& name) { return name.toLower(); }

    QList<Line> m_lines;
    QList<Section> m_sections;
    QHash<QString, int> m_sectionIndex; // folded section name -> index into m_sections, first wins
};

} // namespace Tollgate
