#include "survey/TitlePattern.h"

#include "common/TestEnvironment.h"

#include <gtest/gtest.h>

using Tollgate::TitlePattern;

TEST(TitlePattern, Matches)
{
    // Title, pattern, whether it matches.
    const std::tuple<const char*, const char*, bool> cases[]
        = {// The whole title against the whole pattern, without regard to case.
            {"Untitled - Notepad", "*notepad", true}, {"Untitled - Notepad", "notepad", false},
            {"NOTEPAD", "notepad", true}, {"", "*", true}, {"", "", true}, {"x", "", false},
            {"Big Game Night", "*game*", true}, {"\u00c4RGER \u0130stanbul", "\u00e4rger*", true},
            {"STRASSE", "strasse", true},
            // Single characters and classes: ranges are lower-cased with the pattern, an empty list
            // stands for nothing, a character beyond 16 bits is one character.
            {"Chapter 7", "chapter ?", true}, {"Chapter 10", "chapter ?", false},
            {"Room 42", "room ##", true}, {"Room 4a", "room ##", false}, {"b", "[abc]", true},
            {"d", "[abc]", false}, {"d", "[!abc]", true}, {"b", "[!abc]", false}, {"Q", "[a-z]", true},
            {"-", "[a-]", true}, {"-", "[-a]", true}, {"ab", "a[]b", true}, {"\U0001F600", "?", true},
            // Characters of the title are never special, bracketed ones of the pattern neither.
            {"a*b?c#[", "a[*]b[?]c[#][[]", true}, {"x", "[*]", false}, {"a*b", "a[?]b", false},
            {"[x]", "[[]x]", true},
            // Malformed patterns never match.
            {"[abc", "[abc", false}, {"anything", "*[*", false}, {"m", "[z-a]", false}, {"", "[", false}};
    for (const auto& [title, pattern, matches] : cases)
        EXPECT_EQ(TitlePattern(str(pattern)).matches(str(title)), matches) << title << " ~ " << pattern;
    EXPECT_FALSE(TitlePattern(str("[abc")).isValid());
    EXPECT_TRUE(TitlePattern(str("[!a-z]x[*]")).isValid());

    // Many stars: the fuzz target bounds the work, these the answers.
    const QString title(254, u'a');
    EXPECT_FALSE(TitlePattern(str("*a*a*a*a*a*a*a*a*b")).matches(title));
    EXPECT_FALSE(TitlePattern(str("*?*?*?*?*?*?*?*?*[!a]")).matches(title));
    EXPECT_TRUE(TitlePattern(str("*a*a*a*a*a*a*a*a*")).matches(title));
}
