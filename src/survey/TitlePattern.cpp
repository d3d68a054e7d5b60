#include "TitlePattern.h"

namespace Tollgate {

QList<char32_t> TitlePattern::lowerCaseCharacters(const QString& text)
{
    QList<char32_t> out;
    const QList<uint> ucs4 = text.toLower().toUcs4();
    out.reserve(ucs4.size());
    for (const uint c : ucs4)
        out.append(static_cast<char32_t>(c));
    return out;
}

TitlePattern::TitlePattern(const QString& pattern)
{
    const QList<char32_t> p = lowerCaseCharacters(pattern);
    for (qsizetype i = 0; i < p.size(); ++i) {
        Token token;
        switch (p.at(i)) {
        case U'*':
            // Runs of stars mean the same as one.
            if (!m_tokens.isEmpty() && m_tokens.last().kind == Token::AnyRun)
                continue;
            token.kind = Token::AnyRun;
            break;
        case U'?':
            token.kind = Token::AnyOne;
            break;
        case U'#':
            token.kind = Token::Digit;
            break;
        case U'[': {
            qsizetype j = i + 1;
            token.kind = Token::Set;
            if (j < p.size() && p.at(j) == U'!') {
                token.negated = true;
                ++j;
            }
            const qsizetype first = j;
            while (j < p.size() && p.at(j) != U']') {
                const char32_t low = p.at(j);
                // A "-" between two characters makes a range; at either end it is itself.
                if (j + 2 < p.size() && p.at(j + 1) == U'-' && p.at(j + 2) != U']') {
                    const char32_t high = p.at(j + 2);
                    if (high < low) {
                        m_valid = false;
                        return;
                    }
                    token.ranges.append({low, high});
                    j += 3;
                } else {
                    token.ranges.append({low, low});
                    ++j;
                }
            }
            if (j >= p.size()) {
                m_valid = false;
                return;
            }
            i = j;
            // "[]" stands for no character at all.
            if (j == first && !token.negated)
                continue;
            break;
        }
        default:
            token.literal = p.at(i);
            break;
        }
        m_tokens.append(std::move(token));
    }
}

bool TitlePattern::tokenMatches(const Token& token, char32_t c, qint64& steps) const
{
    ++steps;
    switch (token.kind) {
    case Token::Literal:
        return token.literal == c;
    case Token::AnyOne:
        return true;
    case Token::Digit:
        return c >= U'0' && c <= U'9';
    case Token::Set: {
        bool inList = false;
        for (const auto& [low, high] : token.ranges) {
            ++steps;
            if (c >= low && c <= high) {
                inList = true;
                break;
            }
        }
        return inList != token.negated;
    }
    case Token::AnyRun:
        break;
    }
    return false;
}

bool TitlePattern::matchesLowerCase(const QList<char32_t>& title, qint64* steps) const
{
    qint64 work = 0;
    const bool matched = matchCounting(title, work);
    if (steps)
        *steps += work;
    return matched;
}

bool TitlePattern::matchCounting(const QList<char32_t>& title, qint64& work) const
{
    if (!m_valid)
        return false;
    // Greedy matching that returns only to the most recent star: each star resumes at most
    // once per title position, so the work is bounded by pattern length times title length.
    qsizetype t = 0;
    qsizetype p = 0;
    qsizetype starToken = -1;
    qsizetype starTitle = 0;
    while (t < title.size()) {
        if (p < m_tokens.size() && m_tokens.at(p).kind == Token::AnyRun) {
            starToken = p++;
            starTitle = t;
        } else if (p < m_tokens.size() && tokenMatches(m_tokens.at(p), title.at(t), work)) {
            ++p;
            ++t;
        } else if (starToken >= 0) {
            p = starToken + 1;
            t = ++starTitle;
        } else {
            return false;
        }
    }
    while (p < m_tokens.size() && m_tokens.at(p).kind == Token::AnyRun)
        ++p;
    return p == m_tokens.size();
}

bool TitlePattern::matches(const QString& title) const
{
    return matchesLowerCase(lowerCaseCharacters(title));
}

} // namespace Tollgate
