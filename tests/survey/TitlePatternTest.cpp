#include "survey/TitlePattern.h"

#include "common/TestEnvironment.h"

#include <gtest/gtest.h>

using Tollgate::TitlePattern;

TEST(TitlePattern, Matches)
{
    const QString longTitle(254, u'a');
    const struct
    {
        QString title;
        QString pattern;
        bool matches;
    } cases[] = {
        // The whole title against the whole pattern, without regard to case.
        {str("Untitled - Notepad"), str("*notepad"), true},
        {str("Untitled - Notepad"), str("notepad"), false},
        {str("NOTEPAD"), str("notepad"), true},
        {str(""), str("*"), true},
        {str(""), str(""), true},
        {str("x"), str(""), false},
        {str("Big Game Night"), str("*game*"), true},
        {str("\u00c4RGER \u0130stanbul"), str("\u00e4rger*"), true},
        {str("STRASSE"), str("strasse"), true},
        // Single characters and classes.
        {str("Chapter 7"), str("chapter ?"), true},
        {str("Chapter 10"), str("chapter ?"), false},
        {str("Room 42"), str("room ##"), true},
        {str("Room 4a"), str("room ##"), false},
        {str("b"), str("[abc]"), true},
        {str("d"), str("[abc]"), false},
        {str("d"), str("[!abc]"), true},
        {str("b"), str("[!abc]"), false},
        {str("Q"), str("[a-z]"), true}, // ranges are lower-cased with the pattern
        {str("-"), str("[a-]"), true},
        {str("-"), str("[-a]"), true},
        {str("ab"), str("a[]b"), true}, // an empty list stands for nothing
        {str("\U0001F600"), str("?"), true}, // a character beyond 16 bits is one character
        // Characters of the title are never special; bracketed ones in the pattern are not either.
        {str("a*b?c#["), str("a[*]b[?]c[#][[]"), true},
        {str("x"), str("[*]"), false},
        {str("a*b"), str("a[?]b"), false},
        {str("[x]"), str("[[]x]"), true},
        // Malformed patterns never match.
        {str("[abc"), str("[abc"), false},
        {str("anything"), str("*[*"), false},
        {str("m"), str("[z-a]"), false},
        {str(""), str("["), false},
        // Many stars: the fuzz target bounds the work, these the answers.
        {longTitle, str("*a*a*a*a*a*a*a*a*b"), false},
        {longTitle, str("*?*?*?*?*?*?*?*?*[!a]"), false},
        {longTitle, str("*a*a*a*a*a*a*a*a*"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title.left(20).toStdString() + " ~ " + c.pattern.toStdString());
        EXPECT_EQ(TitlePattern(c.pattern).matches(c.title), c.matches);
    }
    EXPECT_FALSE(TitlePattern(str("[abc")).isValid());
    EXPECT_TRUE(TitlePattern(str("[!a-z]x[*]")).isValid());
}
