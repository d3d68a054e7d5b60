#pragma once

#include <QList>
#include <QString>

namespace Tollgate {

// A window title pattern: "*" any run of characters, "?" one character, "#" one digit,
// "[list]" and "[!list]" one character in or not in a list of characters and ranges.
// Both the pattern and the title are lower-cased, so case never matters.
class TitlePattern
{
public:
    explicit TitlePattern(const QString& pattern);

    // False for a pattern that cannot be understood (an unclosed "[", a backward range).
    bool isValid() const { return m_valid; }

    // Whether the whole title matches the whole pattern. A malformed pattern matches
    // nothing. Takes time proportional to pattern length times title length at most.
    bool matches(const QString& title) const;
    // With steps, adds the number of character comparisons made, so that the bound on
    // work can be checked.
    bool matchesLowerCase(const QList<char32_t>& lowerTitle, qint64* steps = nullptr) const;

    static QList<char32_t> lowerCaseCharacters(const QString& text);

private:
    struct Token
    {
        enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind = Literal;
        char32_t literal = 0;
        bool negated = false;
        QList<std::pair<char32_t, char32_t>> ranges; // inclusive
    };

    bool matchCounting(const QList<char32_t>& lowerTitle, qint64& work) const;
    bool tokenMatches(const Token& token, char32_t c, qint64& steps) const;

    QList<Token> m_tokens;
    bool m_valid = true;
};

} // namespace Tollgate
