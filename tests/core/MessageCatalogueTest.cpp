#include "lang/MessageCatalogue.h"

#include "RuleSetFixture.h"

using namespace Tollgate;

namespace {

using MessageCatalogueTest = RuleSetFixture;

} // namespace

TEST_F(MessageCatalogueTest, BuiltInTexts)
{
    EXPECT_EQ(catalogue.GetLanguageFile(), QString());
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_STOP")), str("&Stop"));
    EXPECT_EQ(catalogue.MessageText(str("caption_stop")), QString()) << "built-in keys match with case";
    EXPECT_EQ(catalogue.MessageText(str("NO_SUCH_KEY")), QString());

    const QString block = catalogue.MessageText(str("MSG_DEFAULT_BLOCK_MESSAGE"));
    EXPECT_EQ(block.size(), 101);
    EXPECT_EQ(block.split(str("\r\n")).size(), 5);
    EXPECT_FALSE(block.endsWith(u'\n'));
    EXPECT_EQ(catalogue.MessageText(str("MSG_DEFAULT_TIMEOUT_MESSAGE")).size(), 213);
}

TEST_F(MessageCatalogueTest, LanguageFileOverridesOnlyNonEmptyMessages)
{
    useLanguage("[frmMain]\r\nCONFIRM_CLEAR_LIST=Window text\r\n"
                "[Messages]\r\ncaption_ok=\r\nCAPTION_RUN=&Start\r\n"
                "MSG_DEFAULT_BLOCK_MESSAGE=Nein$vbcrlf$Nie\r\nCONFIRM_CLEAR_ITEM="
        + QByteArray(300, 'x') + "\r\n");
    catalogue.SetLanguageFile(sandboxPath("elsewhere/Test.lng"));
    EXPECT_EQ(catalogue.GetLanguageFile(), str("Test.lng")) << "only the file-name part is stored";
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_RUN")), str("&Start"));
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_OK")), str("&OK"));
    EXPECT_EQ(
        catalogue.MessageText(str("CONFIRM_CLEAR_LIST")), str("Are you sure you want to clear this list?"));
    EXPECT_EQ(catalogue.MessageText(str("MSG_DEFAULT_BLOCK_MESSAGE")), str("Nein$vbcrlf$Nie"));
    EXPECT_EQ(catalogue.MessageText(str("CONFIRM_CLEAR_ITEM")).size(), 254);
}

TEST_F(MessageCatalogueTest, ChangedLanguageFileIsReadAgain)
{
    useLanguage("[Messages]\r\nCAPTION_RUN=One\r\n");
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_RUN")), str("One"));
    // Same size, rewritten at once: still seen.
    Sandbox::writeFile(str("Language/Test.lng"), "[Messages]\r\nCAPTION_RUN=Two\r\n");
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_RUN")), str("Two"));
    catalogue.SetLanguageFile(QString());
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_RUN")), str("&Run"));
}

TEST_F(MessageCatalogueTest, BrokenChoicesFallBackToBuiltIns)
{
    catalogue.SetLanguageFile(str("Missing.lng"));
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_OK")), str("&OK"));
    Sandbox::writeFile(str("Language/Binary.lng"), QByteArray("\x00\xff\xfe[Messages\x00\r\n=", 15));
    catalogue.SetLanguageFile(str("Binary.lng"));
    EXPECT_EQ(catalogue.MessageText(str("CAPTION_OK")), str("&OK"));
    // A hand-edited registry value with a path leads nowhere outside the folder.
    store.WriteSetting(
        str("HKLM"), MessageCatalogue::RegistryKey, str("Language"), str("S"), str("..\\..\\x.lng"));
    EXPECT_EQ(catalogue.GetLanguageFile(), str("x.lng"));
}
