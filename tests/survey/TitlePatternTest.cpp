#include "survey/TitlePattern.h"

#include "common/TestEnvironment.h"

#include <gtest/gtest.h>

using Tollgate::TitlePattern;

namespace {

bool match(const char* title, const char* pattern)
{
    return TitlePattern(QString::fromUtf8(pattern)).matches(QString::fromUtf8(title));
}

} // namespace

TEST(TitlePattern, WholeTitleAgainstWholePatternWithoutCase)
{
    EXPECT_TRUE(match("Untitled - Notepad", "*notepad"));
    EXPECT_FALSE(match("Untitled - Notepad", "notepad"));
    EXPECT_TRUE(match("NOTEPAD", "notepad"));
    EXPECT_TRUE(match("", "*"));
    EXPECT_TRUE(match("", ""));
    EXPECT_FALSE(match("x", ""));
    EXPECT_TRUE(match("Tollgate", "*"));
    EXPECT_TRUE(match("Big Game Night", "*game*"));
    EXPECT_TRUE(match("\u00c4RGER \u0130stanbul", "\u00e4rger*"));
    EXPECT_TRUE(match("STRASSE", "strasse"));
}

TEST(TitlePattern, SingleCharacterClasses)
{
    EXPECT_TRUE(match("Chapter 7", "chapter ?"));
    EXPECT_FALSE(match("Chapter 10", "chapter ?"));
    EXPECT_TRUE(match("Room 42", "room ##"));
    EXPECT_FALSE(match("Room 4a", "room ##"));
    EXPECT_TRUE(match("b", "[abc]"));
    EXPECT_FALSE(match("d", "[abc]"));
    EXPECT_TRUE(match("d", "[!abc]"));
    EXPECT_TRUE(match("Q", "[a-z]")) << "ranges are lower-cased with the pattern";
    EXPECT_TRUE(match("-", "[a-]"));
    EXPECT_TRUE(match("-", "[-a]"));
    EXPECT_TRUE(match("*", "[*]"));
    EXPECT_FALSE(match("x", "[*]"));
    EXPECT_TRUE(match("#", "[#]"));
    EXPECT_TRUE(match("a?b", "a[?]b"));
    EXPECT_TRUE(match("ab", "a[]b")) << "an empty list stands for nothing";
    EXPECT_TRUE(match("\U0001F600", "?")) << "a character beyond 16 bits is one character";
}

TEST(TitlePattern, TitleCharactersAreNeverSpecial)
{
    EXPECT_TRUE(match("a*b?c#[", "a[*]b[?]c[#][[]"));
    EXPECT_FALSE(match("a*b", "a[?]b"));
    EXPECT_TRUE(match("[x]", "[[]x]"));
}

TEST(TitlePattern, MalformedPatternsNeverMatch)
{
    EXPECT_FALSE(TitlePattern(QStringLiteral("[abc")).isValid());
    EXPECT_FALSE(match("[abc", "[abc"));
    EXPECT_FALSE(match("anything", "*[*"));
    EXPECT_FALSE(match("m", "[z-a]"));
    EXPECT_FALSE(match("", "["));
}

TEST(TitlePattern, ManyStarsStayFast)
{
    // Exponential backtracking would make this take ages; the suite's timeout would say so.
    const QString title(254, u'a');
    for (int i = 0; i < 200; ++i) {
        EXPECT_FALSE(TitlePattern(QStringLiteral("*a*a*a*a*a*a*a*a*b")).matches(title));
        EXPECT_FALSE(TitlePattern(QStringLiteral("*?*?*?*?*?*?*?*?*[!a]")).matches(title));
    }
    EXPECT_TRUE(TitlePattern(QStringLiteral("*a*a*a*a*a*a*a*a*")).matches(title));
}
