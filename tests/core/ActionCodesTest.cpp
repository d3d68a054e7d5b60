#include "lang/ActionCodes.h"

#include "common/TestEnvironment.h"
#include "lang/MessageCatalogue.h"
#include "store/SettingsStore.h"

#include <gtest/gtest.h>

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

TEST(ActionCodes, TextsComeFromTheCatalogue)
{
    SettingsStore store;
    MessageCatalogue catalogue(store, ProgramPaths(Sandbox::folder(), Sandbox::folder()));
    EXPECT_EQ(WindowActionText(catalogue, 0), str("(0) Ignore"));
    EXPECT_EQ(WindowActionText(catalogue, 1), str("(1) Block"));
    EXPECT_EQ(WindowActionText(catalogue, 2), str("(2) Bring To Front"));
    EXPECT_EQ(WindowActionText(catalogue, 3), QString());
    EXPECT_EQ(WindowActionText(catalogue, -1), QString());
    EXPECT_EQ(ProcessActionText(catalogue, 1), str("(1) Close Process when Computer is Idle"));
    EXPECT_EQ(ProcessActionText(catalogue, 2), str("(2) Always Run"));
    EXPECT_EQ(ProcessActionText(catalogue, 3), str("(3) Block"));
    EXPECT_EQ(ProcessActionText(catalogue, 4), QString());

    Sandbox::writeFile(str("Language/Deutsch.lng"),
        "[Messages]\r\nACTION_PROCESS_BLOCK=(3) Sperren\r\n"
        "ACTION_WINDOW_BLOCK=Sperren\r\n");
    catalogue.SetLanguageFile(str("Deutsch.lng"));
    EXPECT_EQ(ProcessActionText(catalogue, 3), str("(3) Sperren"));
    EXPECT_EQ(ProcessActionCode(ProcessActionText(catalogue, 3)), 3)
        << "a translation with the prefix keeps its code";
    EXPECT_EQ(WindowActionCode(WindowActionText(catalogue, 1)), 0) << "without the prefix the code is lost";
}
