#include "common/TestEnvironment.h"
#include "platform/ShellWords.h"
#include "platform/x11/CompoundText.h"
#include "platform/x11/KeyTable.h"

#include <gtest/gtest.h>
#include <optional>

using namespace Tollgate::Platform;

namespace {

TEST(ShellWords, splitsAsAShellQuotesWithoutExpandingAndRefusesAnUnterminatedQuote)
{
    const std::pair<const char*, std::optional<QStringList>> cases[] = {{"", QStringList()},
        {"  \t ", QStringList()}, {"program", QStringList {str("program")}},
        {"  a   b\tc  ", QStringList {str("a"), str("b"), str("c")}},
        {"'/opt/My Program/run' --flag", QStringList {str("/opt/My Program/run"), str("--flag")}},
        {"say \"a b\" 'c d'", QStringList {str("say"), str("a b"), str("c d")}},
        {"x\\ y", QStringList {str("x y")}},
        {"\"q\\\"uote\" \"back\\\\slash\" \"keep\\n\"",
            QStringList {str("q\"uote"), str("back\\slash"), str("keep\\n")}},
        {"'single \\ keeps \" all'", QStringList {str("single \\ keeps \" all")}},
        {"a\"b\"'c'd", QStringList {str("abcd")}},
        {"empty '' \"\"", QStringList {str("empty"), QString(), QString()}},
        {"$HOME ~ *.txt `x` a;b", QStringList {str("$HOME"), str("~"), str("*.txt"), str("`x`"), str("a;b")}},
        {"a \\\n b", QStringList {str("a"), str("b")}}, {"say 'oops", std::nullopt},
        {"say \"oops", std::nullopt}, {"say \"oops\\\"", std::nullopt}};
    for (const auto& [line, words] : cases)
        EXPECT_EQ(ShellWords::split(str(line)), words) << line;
}

TEST(CompoundText, startsInLatin1AndFollowsEverySwitchAndEndsCleanlyWhenCut)
{
    const std::pair<QByteArrayView, const char*> cases[] = {
        // As xterm wrote them for these titles.
        {"\x1b-F\xc3\xe5\xe9\xdc \xf3\xef\xf5 \xea\xfc\xf3\xec\xe5", "Γειά σου κόσμε"},
        {"\x1b$(BF|K\\8l\x1b(B title", "日本語 title"},
        {"caf\xe9 na\xefve", "café naïve"},
        {"\x1b-L\xbf\xe0\xd8\xd2\xd5\xe2 \x1b-A\xe9", "Привет é"},
        {"\x1b$)A\xc4\xe3\xba\xc3", "你好"},
        {"\x1b$(CGQ\x1b(B!", "한!"},
        {"price \x1b%G\xe2\x82\xac\x1b%@ 5", "price € 5"},
        // Extended segment: length 12 = "iso8859-15" STX and one byte.
        {QByteArrayView("\x1b%/1\x80\x8ciso8859-15\x02\xa4!", 19), "€!"},
        {"abc\x1b", "abc"},
        {"\x1b$(BF", ""},
        {"\x1b%/1\x80", ""},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(CompoundText::decode(bytes), QString::fromUtf8(text)) << text;
}

TEST(KeyTable, mapsKeycodesToTheVirtualKeysOfTheirKeysyms)
{
    constexpr quint32 a = 0x61, upperA = 0x41, shiftL = 0xffe1, one = 0x31, exclam = 0x21, ampersand = 0x26,
                      kpHome = 0xff95, kp7 = 0xffb7, f12 = 0xffc9, f16 = 0xffcd, home = 0xff50, space = 0x20;
    // Keycodes 10 to 17, two levels each; 13 is an AZERTY digit key with the digit shifted.
    const quint32 keysyms[]
        = {a, upperA, shiftL, 0, one, exclam, ampersand, one, kpHome, kp7, f12, 0, f16, 0, home, space};
    KeyTable table;
    table.build(10, 2, keysyms, int(std::size(keysyms)));

    // Shift is not polled, and F16 lies beyond the polled range.
    const std::pair<int, std::vector<int>> keys[] = {{10, {0x41}}, {11, {}}, {12, {0x31}}, {13, {0x31}},
        {14, {0x67}}, {15, {0x7B}}, {16, {}}, {17, {0x24}}, {200, {}}};
    for (const auto& [keycode, virtualKeys] : keys)
        EXPECT_EQ(table.virtualKeys(keycode), virtualKeys) << keycode;
    EXPECT_EQ(table.keycodes(0x31), (QList<quint8> {12, 13}));

    table.build(10, 2, keysyms, 2);
    EXPECT_TRUE(table.virtualKeys(12).empty()) << "a rebuilt table forgets the old mapping";
}

} // namespace
