#include "store/IniDocument.h"

#include "common/TestEnvironment.h"

#include <gtest/gtest.h>

using Tollgate::IniDocument;

TEST(IniDocument, ReadsLikeTheProfileService)
{
    const IniDocument doc = IniDocument::parse(
        str("; comment\r\n[Windows]\r\n  count =  2  \r\nCaption_1=*Game*\r\n\r\n[windows]\r\ncount=9\r\n"
            "[Other]\r\nCount=7"));
    EXPECT_EQ(doc.value(str("WINDOWS"), str("Count")), str("2")) << "names ignore case, values are trimmed";
    EXPECT_EQ(doc.value(str("Windows"), str("caption_1")), str("*Game*"));
    EXPECT_EQ(doc.value(str("Other"), str("Count")), str("7")) << "a last line without a break is whole";
    EXPECT_FALSE(doc.value(str("Windows"), str("Missing")));
    EXPECT_FALSE(doc.value(str("Nowhere"), str("Count")));
    EXPECT_EQ(doc.readString(str("Nowhere"), str("Count"), str("30")), str("30"));
}

TEST(IniDocument, AcceptsLfOnlyFilesAndEmptyValues)
{
    const IniDocument doc = IniDocument::parse(str("[General]\nPassword=\nName=x\n"));
    EXPECT_EQ(doc.value(str("General"), str("Password")), QString()) << "an empty value is not a missing one";
    EXPECT_EQ(doc.readString(str("General"), str("Password"), str("default")), QString());
    EXPECT_EQ(doc.value(str("General"), str("Name")), str("x"));
}

TEST(IniDocument, ReadsAreCutTo254Characters)
{
    const QString longValue(300, u'x');
    const IniDocument doc = IniDocument::parse(str("[S]\r\nE=") + longValue + str("\r\n"));
    EXPECT_EQ(doc.readString(str("S"), str("E"), {}).size(), 254);
    EXPECT_EQ(doc.readString(str("S"), str("Missing"), longValue).size(), 254) << "defaults are cut as well";

    // Characters, not UTF-16 units: a surrogate pair is never split.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const IniDocument wide = IniDocument::parse(str("[S]\r\nE=") + emoji.repeated(300));
    EXPECT_EQ(wide.readString(str("S"), str("E"), {}), emoji.repeated(254));
}

TEST(IniDocument, WritesChangeOnlyTheLineConcerned)
{
    IniDocument doc = IniDocument::parse(str("; kept\r\n[A]\r\nx = 1\r\n\r\n; between\r\n[B]\nY=2\n"));
    doc.setValue(str("a"), str("X"), str("10"));
    doc.setValue(str("A"), str("z"), str("3"));
    doc.setValue(str("C"), str("w"), str("4"));
    EXPECT_EQ(doc.toText(), str("; kept\r\n[A]\r\nx=10\r\nz=3\r\n\r\n; between\r\n[B]\nY=2\n[C]\r\nw=4\r\n"));

    IniDocument empty;
    empty.setValue(str("S"), str("a"), str("1"));
    empty.setValue(str("S"), str("b"), str("2"));
    EXPECT_EQ(empty.toText(), str("[S]\r\na=1\r\nb=2\r\n"));

    IniDocument open = IniDocument::parse(str("[S]\r\na=1"));
    open.setValue(str("S"), str("b"), str("2"));
    open.setValue(str("T"), str("c"), str("3"));
    EXPECT_EQ(open.toText(), str("[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n"));
}

// Brackets and equal signs stay in their value; line breaks cannot inject entries.
TEST(IniDocument, WrittenValuesReadBackAsOneEntry)
{
    IniDocument doc;
    doc.setValue(str("Windows"), str("Caption_1"), str("x\r\n[General]\nPassword=stolen"));
    doc.setValue(str("Windows"), str("Caption_2"), str("[a-z]*=x"));
    doc.setValue(str("Windows"), str("Caption_3"), str("y"));
    const IniDocument reread = IniDocument::parse(doc.toText());
    EXPECT_FALSE(reread.value(str("General"), str("Password")));
    EXPECT_EQ(reread.value(str("Windows"), str("Caption_1")), str("x  [General] Password=stolen"));
    EXPECT_EQ(reread.value(str("Windows"), str("Caption_2")), str("[a-z]*=x"));
    EXPECT_EQ(reread.value(str("Windows"), str("Caption_3")), str("y"));
}
