#include "store/IniDocument.h"

#include "common/TestEnvironment.h"

#include <gtest/gtest.h>

using Tollgate::IniDocument;

TEST(IniDocument, ReadsLikeTheProfileService)
{
    const IniDocument doc
        = IniDocument::parse(str("[General]\nPassword=\nName=x\n; comment\r\n[Windows]\r\n  count =  2  \r\n"
                                 "Caption_1=*Game*\r\n\r\n[windows]\r\ncount=9\r\n[Other]\r\nCount=7"));
    EXPECT_EQ(doc.value(str("WINDOWS"), str("Count")), str("2")) << "names ignore case, values are trimmed";
    EXPECT_EQ(doc.value(str("Windows"), str("caption_1")), str("*Game*"));
    EXPECT_EQ(doc.value(str("Other"), str("Count")), str("7")) << "a last line without a break is whole";
    EXPECT_EQ(doc.value(str("General"), str("Name")), str("x")) << "LF alone ends a line";
    EXPECT_FALSE(doc.value(str("Windows"), str("Missing")));
    EXPECT_EQ(doc.readString(str("Nowhere"), str("Count"), str("30")), str("30"));
    EXPECT_EQ(doc.readString(str("General"), str("Password"), str("30")), QString())
        << "empty is not missing";

    // Reads are cut to 254 characters, defaults too, and a surrogate pair is never split.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const IniDocument longValues
        = IniDocument::parse(str("[S]\r\nE=") + QString(300, u'x') + str("\r\nF=") + emoji.repeated(300));
    EXPECT_EQ(longValues.readString(str("S"), str("E"), {}), QString(254, u'x'));
    EXPECT_EQ(longValues.readString(str("S"), str("Missing"), QString(300, u'x')), QString(254, u'x'));
    EXPECT_EQ(longValues.readString(str("S"), str("F"), {}), emoji.repeated(254));
}

TEST(IniDocument, WritesChangeOnlyTheLineConcernedAndReadBackAsOneEntry)
{
    IniDocument doc = IniDocument::parse(str("; kept\r\n[A]\r\nx = 1\r\n\r\n; between\r\n[B]\nY=2\n"));
    doc.setValue(str("a"), str("X"), str("10"));
    doc.setValue(str("A"), str("z"), str("3"));
    doc.setValue(str("C"), str("w"), str("4"));
    EXPECT_EQ(doc.toText(), str("; kept\r\n[A]\r\nx=10\r\nz=3\r\n\r\n; between\r\n[B]\nY=2\n[C]\r\nw=4\r\n"));

    IniDocument open = IniDocument::parse(str("[S]\r\na=1"));
    open.setValue(str("S"), str("b"), str("2"));
    open.setValue(str("T"), str("c"), str("3"));
    EXPECT_EQ(open.toText(), str("[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n"));

    // Brackets and equal signs stay in their value; line breaks cannot inject entries.
    IniDocument written;
    written.setValue(str("Windows"), str("Caption_1"), str("x\r\n[General]\nPassword=stolen"));
    written.setValue(str("Windows"), str("Caption_2"), str("[a-z]*=x"));
    const IniDocument reread = IniDocument::parse(written.toText());
    EXPECT_FALSE(reread.value(str("General"), str("Password")));
    EXPECT_EQ(reread.value(str("Windows"), str("Caption_1")), str("x  [General] Password=stolen"));
    EXPECT_EQ(reread.value(str("Windows"), str("Caption_2")), str("[a-z]*=x"));
}
