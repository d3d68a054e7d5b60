#include "lang/ActionCodes.h"

#include "RuleSetFixture.h"

using namespace Tollgate;

TEST(ActionCodes, CodeIsTheSecondCharacterAlone)
{
    EXPECT_EQ(ProcessActionCode(str("(3) Block")), 3);
    EXPECT_EQ(WindowActionCode(str("(2) Bring To Front")), 2);
    EXPECT_EQ(WindowActionCode(QString()), 0);
    EXPECT_EQ(WindowActionCode(str("(")), 0);
    EXPECT_EQ(WindowActionCode(str("Block")), 0);
    EXPECT_EQ(ProcessActionCode(str("Block")), 0);
    EXPECT_EQ(WindowActionCode(str("x5 whatever")), 5);
    EXPECT_EQ(WindowActionCode(str("(12) Twelve")), 1);
    EXPECT_EQ(ProcessActionCode(str("(\u0663) Arabic-Indic digit")), 0) << "only ASCII digits are codes";
}

using ActionTexts = RuleSetFixture;

TEST_F(ActionTexts, ComeFromTheCatalogue)
{
    const struct
    {
        QString (*text)(const MessageCatalogue&, int);
        int code;
        const char* expected;
    } cases[] = {{WindowActionText, 0, "(0) Ignore"}, {WindowActionText, 1, "(1) Block"},
        {WindowActionText, 2, "(2) Bring To Front"}, {WindowActionText, 3, ""}, {WindowActionText, -1, ""},
        {ProcessActionText, 1, "(1) Close Process when Computer is Idle"},
        {ProcessActionText, 2, "(2) Always Run"}, {ProcessActionText, 3, "(3) Block"},
        {ProcessActionText, 4, ""}};
    for (const auto& item : cases)
        EXPECT_EQ(item.text(catalogue, item.code), str(item.expected)) << item.code;

    useLanguage("[Messages]\r\nACTION_PROCESS_BLOCK=(3) Sperren\r\nACTION_WINDOW_BLOCK=Sperren\r\n");
    EXPECT_EQ(ProcessActionText(catalogue, 3), str("(3) Sperren"));
    EXPECT_EQ(ProcessActionCode(ProcessActionText(catalogue, 3)), 3)
        << "a translation with the prefix keeps its code";
    EXPECT_EQ(WindowActionCode(WindowActionText(catalogue, 1)), 0) << "without the prefix the code is lost";
}
