#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace Tollgate {

// An INI file held line by line, read the way the Windows profile service reads one, and
// changed one line at a time, so that blank lines, comments and other entries stay exactly
// as they were. As the service reads:
// - CR LF, LF and CR alone each end a line;
// - "[" name "]" starts a section, the name running to the last "]"; the lines before the
//   first section form a section of their own whose name is empty;
// - any other line is an entry: the name up to the first "=" and the value after it, or the
//   whole line as a name without a value, which reads as missing but hides later entries of
//   that name; ";" marks no comment;
// - names ignore the case of ASCII letters only; blanks (space, tab, the other ASCII line
//   controls, and ^Z) around names and values do not count; a NUL ends a name or value;
// - the first section and the first entry of a name win;
// - a read strips one pair of quotes (" or ') enclosing the value or the fallback.
class IniDocument
{
public:
    // The most characters a profile read delivers (a 255-byte buffer with its terminator).
    static constexpr int MaxValueChars = 254;

    IniDocument() = default;
    static IniDocument parse(const QString& text);

    // The entry's value as stored: without the blanks around it, up to any NUL, quotes and
    // all; nothing when the section or the entry is missing or the entry has no "=".
    std::optional<QString> value(const QString& section, const QString& entry) const;

    // A profile string read: the value or, when missing, the fallback less its trailing
    // spaces; without the quotes enclosing it; cut to MaxValueChars.
    QString readString(const QString& section, const QString& entry, const QString& fallback) const;
    bool hasSection(const QString& section) const { return findSection(section) != nullptr; }

    // Replaces the entry's value in place, or adds the entry after the last entry of its
    // section (comments and blank lines before the next section stay there),
    // or the section at the end of the document. Line breaks in any of the texts would
    // break the line structure, so each becomes a blank.
    void setValue(const QString& section, const QString& entry, const QString& value);

    // The document as text; lines added by setValue end in CR LF.
    QString toText() const;

    static QString singleLine(QString text);

    // What to write after "=" so that a read gives the value back: the value on one line,
    // and a value that a read would take as quoted inside one more pair of quotes.
    static QString valueText(const QString& value);

    // What the profile service trims around names and values.
    static bool isBlank(QChar c);

private:
    struct Line
    {
        QString text;
        QString end; // "\r\n", "\n", "\r" or empty for a last line without a break
    };
    struct Section
    {
        int header = -1; // line index of the header, -1 for the lines before the first one
        int end = 0; // one past its last line
        int lastEntry = -1; // line index of its last "name=value" line, -1 for none
        QHash<QString, int> entries; // folded entry name -> line index, first wins
    };

    void reindex();
    const Section* findSection(const QString& name) const;
    static QString fold(QStringView name);

    QList<Line> m_lines;
    QList<Section> m_sections;
    QHash<QString, int> m_sectionIndex; // folded section name -> index into m_sections, first wins
};

} // namespace Tollgate
