#include "lang/MessageCatalogue.h"

#include "RuleSetFixture.h"
#include "lang/ActionCodes.h"

using namespace Tollgate;

using MessageCatalogueTest = RuleSetFixture;

TEST_F(MessageCatalogueTest, LanguageFileOverridesNonEmptyMessagesAndBrokenChoicesFallBack)
{
    const auto text = [this](const char* key) { return catalogue.MessageText(str(key)); };
    EXPECT_EQ(catalogue.GetLanguageFile(), QString());
    EXPECT_EQ(text("caption_stop"), QString()) << "built-in keys match with case";
    EXPECT_EQ(text("NO_SUCH_KEY"), QString());
    QByteArray file
        = "[frmMain]\r\nCONFIRM_CLEAR_LIST=Window text\r\n[Messages]\r\ncaption_ok=\r\nCAPTION_RUN=&Start\r\n"
          "MSG_DEFAULT_BLOCK_MESSAGE=Nein$vbcrlf$Nie\r\nCONFIRM_CLEAR_ITEM="
        + QByteArray(300, 'x') + "\r\n";
    useLanguage(file);
    catalogue.SetLanguageFile(sandboxPath("elsewhere/Test.lng"));
    EXPECT_EQ(catalogue.GetLanguageFile(), str("Test.lng")) << "only the file-name part is stored";
    EXPECT_EQ(text("CAPTION_RUN"), str("&Start"));
    EXPECT_EQ(text("CAPTION_OK"), str("&OK"));
    EXPECT_EQ(text("CONFIRM_CLEAR_LIST"), str("Are you sure you want to clear this list?"));
    EXPECT_EQ(text("MSG_DEFAULT_BLOCK_MESSAGE"), str("Nein$vbcrlf$Nie"));
    EXPECT_EQ(text("CONFIRM_CLEAR_ITEM").size(), 254);

    // Same size, rewritten at once: still seen.
    Sandbox::writeFile(str("Language/Test.lng"), file.replace("&Start", "&Other"));
    EXPECT_EQ(text("CAPTION_RUN"), str("&Other"));
    catalogue.SetLanguageFile(QString());
    EXPECT_EQ(text("CAPTION_RUN"), str("&Run"));

    // Broken choices fall back to the built-in texts.
    Sandbox::writeFile(str("Language/Binary.lng"), QByteArray("\x00\xff\xfe[Messages\x00\r\n=", 15));
    for (const char* broken : {"Missing.lng", "Binary.lng"}) {
        catalogue.SetLanguageFile(str(broken));
        EXPECT_EQ(text("CAPTION_OK"), str("&OK")) << broken;
    }
    // A hand-edited registry value with a path leads nowhere outside the folder.
    store.WriteSetting(
        str("HKLM"), MessageCatalogue::RegistryKey, str("Language"), str("S"), str("..\\..\\x.lng"));
    EXPECT_EQ(catalogue.GetLanguageFile(), str("x.lng"));
}

// The code is the second character alone, and only an ASCII digit; codes beyond the table
// have no text. A translation keeps its code only if it keeps the "(n)" prefix.
TEST_F(MessageCatalogueTest, ActionCodesAndTexts)
{
    const std::pair<const char*, int> codes[] = {{"(3) Block", 3}, {"(2) Bring To Front", 2}, {"", 0},
        {"(", 0}, {"Block", 0}, {"x5 whatever", 5}, {"(12) Twelve", 1}, {"(\u0663) Arabic-Indic digit", 0}};
    for (const auto& [text, code] : codes) {
        EXPECT_EQ(WindowActionCode(str(text)), code) << text;
        EXPECT_EQ(ProcessActionCode(str(text)), code) << text;
    }
    for (const int code : {-1, 3})
        EXPECT_EQ(WindowActionText(catalogue, code), QString()) << code;
    for (const int code : {-1, 4})
        EXPECT_EQ(ProcessActionText(catalogue, code), QString()) << code;

    useLanguage("[Messages]\r\nACTION_PROCESS_BLOCK=(3) Sperren\r\nACTION_WINDOW_BLOCK=Sperren\r\n");
    EXPECT_EQ(ProcessActionText(catalogue, 3), str("(3) Sperren"));
    EXPECT_EQ(ProcessActionCode(ProcessActionText(catalogue, 3)), 3);
    EXPECT_EQ(WindowActionCode(WindowActionText(catalogue, 1)), 0);
}
