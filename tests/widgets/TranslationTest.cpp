#include "WidgetFixture.h"
#include "lang/WindowTranslation.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/TabStrip.h"
#include "ui/WindowRuleEditor.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>

using namespace Tollgate;

namespace {

class TranslationTest : public WidgetFixture
{
protected:
    QString shownText(QWidget& shown, const char* name)
    {
        if (str(name) == WindowTranslation::FormCaptionEntry)
            return shown.windowTitle();
        return caption(child<QObject>(shown, name));
    }
};

QString header(const RuleTable& table, int column)
{
    return table.headerData(column, Qt::Horizontal).toString();
}

} // namespace

// Each window takes the entries of its own section, names and section headers matched
// exactly, values as written; controls without a caption ignore theirs.
TEST_F(TranslationTest, EveryWindowTakesTheEntriesOfItsOwnSection)
{
    useLanguage("[frmWindow]\r\ncmdAddWindow=Wrong window\r\ncmdOK=&\xc3\x9c"
                "bernehmen\r\nFORM_CAPTION=Fenster\r\n"
                "txtCaption=pattern\r\n"
                "[frmMain]\r\ncmdAddWindow=&Neues Fenster\r\nFORM_CAPTION=Tollgate auf Deutsch\r\n"
                "TabStrip.Tabs(2)=Prozesse\r\nWindows.ColumnHeaders(2)=Aktion\r\n"
                "Processes.ColumnHeaders(3)=Programm\r\nmnuFileNew=&Neu\r\nmnuTools=&Extras\r\n"
                "framePassword=Passwort\r\ncmdaddprocess=lower case\r\ncmdClearProcesses =blank before\r\n"
                "cmdClearWindows= blank after \r\nlblWindows=\r\ntxtPassword=not a password\r\n"
                "sliderIdleTime=5\r\nTabStrip=tabs\r\nlblInfo=Info\r\n"
                "[FRMMAIN]\r\nlblProcesses=other case section\r\n"
                "[frmProcess]\r\nlblExeName=Programmdatei\r\ncboAction=action\r\n"
                "[frmPassword]\r\nFORM_CAPTION=Passwort eingeben\r\ncmdCancel=&Abbrechen\r\n"
                "[frmUserMessage]\r\nFORM_CAPTION=Meldung\r\nlblMessage=Ersetzt\r\ncmdOK=Schliessen\r\n"
                "[Messages]\r\nINFO_WINDOWS=Fenster\r\nINFO_PROCESSES=Prozesse\r\n"
                "ACTION_PROCESS_BLOCK=(3) Sperren\r\n");
    openWindow();
    WindowRuleEditor windowEditor(context);
    ProcessRuleEditor processEditor(context);
    for (RuleEditor* editor :
        {static_cast<RuleEditor*>(&windowEditor), static_cast<RuleEditor*>(&processEditor)})
        editor->show();
    windowEditor.prepare(0);
    processEditor.prepare(0);

    const struct
    {
        QWidget* window;
        const char* name;
        const char* expected;
        const char* why;
    } cases[] = {
        {window.get(), "cmdAddWindow", "&Neues Fenster", "its own section's entry"},
        {window.get(), "FORM_CAPTION", "Tollgate auf Deutsch", "the title"},
        {window.get(), "mnuFileNew", "&Neu", "a menu item"},
        {window.get(), "mnuTools", "&Extras", "a menu"},
        {window.get(), "framePassword", "Passwort", "a frame"},
        {window.get(), "cmdAddProcess", "Add Process", "names are case-sensitive"},
        {window.get(), "cmdClearProcesses", "Clear Process List", "a blank before = is not found"},
        {window.get(), "cmdClearWindows", " blank after ", "blanks after = are kept"},
        {window.get(), "lblWindows", "List of Windows to be controlled", "an empty value is ignored"},
        {window.get(), "lblProcesses", "List of Processes to be controlled", "sections are case-sensitive"},
        {window.get(), "lblInfo", "Fenster", "the info line comes from the messages"},
        {&windowEditor, "cmdOK",
            "&\xc3\x9c"
            "bernehmen",
            "an editor's own section"},
        {&windowEditor, "FORM_CAPTION", "Fenster", "an editor's title"},
        {&processEditor, "lblExeName", "Programmdatei", "the other editor's section"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(shownText(*item.window, item.name), str(item.expected))
            << item.window->objectName().toStdString() << "." << item.name << ": " << item.why;
    }
    EXPECT_EQ(control<TabStrip>("TabStrip").tabText(0), str("Windows")) << "no entry, design text stays";
    EXPECT_EQ(control<TabStrip>("TabStrip").tabText(1), str("Prozesse"));
    EXPECT_EQ(header(rules.windowRules(), 0), str("Window Title"));
    EXPECT_EQ(header(rules.windowRules(), 1), str("Aktion"));
    EXPECT_EQ(header(rules.processRules(), 2), str("Programm"));
    EXPECT_EQ(control<QLineEdit>("txtPassword").text(), QString());
    EXPECT_EQ(rules.idleTime(), 30);
    EXPECT_FALSE(rules.changed()) << "entries of controls without a caption change nothing";
    EXPECT_EQ(windowEditor.captionBox().text(), QString());
    EXPECT_EQ(processEditor.actionBox().itemText(3), str("(3) Sperren"))
        << "action texts come from the messages";
    control<TabStrip>("TabStrip").setCurrentIndex(1);
    EXPECT_EQ(shownText(*window, "lblInfo"), str("Prozesse"));

    // The survey's windows translate when they become active, after they were sized, and
    // their countdown goes on the translated title.
    rules.setBlockMessage(str("A much longer message than the one the language file gives"));
    notifier.showBlockMessage();
    notifier.showPasswordPrompt();
    const QSize sized = message().size();
    for (CountdownDialog* shown :
        {static_cast<CountdownDialog*>(&message()), static_cast<CountdownDialog*>(&prompt())}) {
        shown->activateWindow();
        if (!QTest::qWaitForWindowActive(shown))
            GTEST_SKIP() << "this platform plugin does not activate windows";
    }
    EXPECT_EQ(shownText(message(), "lblMessage"), str("Ersetzt"));
    EXPECT_EQ(shownText(message(), "cmdOK"), str("Schliessen"));
    EXPECT_EQ(message().size(), sized) << "not resized for the file's texts";
    EXPECT_EQ(shownText(prompt(), "cmdCancel"), str("&Abbrechen"));
    message().Timer_Timer();
    prompt().Timer_Timer();
    EXPECT_EQ(message().windowTitle(), str("Meldung (15)"));
    EXPECT_EQ(prompt().windowTitle(), str("Passwort eingeben (15)"));
    // Another language later does not change the base taken at the first tick.
    useLanguage("[frmUserMessage]\r\nFORM_CAPTION=Message nouveau\r\n", "Other.lng");
    message().Timer_Timer();
    EXPECT_EQ(message().windowTitle(), str("Meldung (14)"));
}

TEST_F(TranslationTest, SelectLanguageStoresTheBareNameAndTranslatesTheWindow)
{
    Sandbox::writeFile(str("Language/Mine.lng"), "[frmMain]\r\ncmdRun=&Los\r\n");
    Sandbox::writeFile(str("elsewhere/Mine.lng"), "[frmMain]\r\ncmdRun=&Wrong folder\r\n");
    auto& select = control<QAction>("mnuLanguageSelect");
    dialogs.files = {QString(), sandboxPath("elsewhere/Mine.lng"), sandboxPath("elsewhere/Missing.lng")};
    select.trigger();
    EXPECT_EQ(catalogue.GetLanguageFile(), QString()) << "cancelled: nothing changes";
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].startPath, catalogue.LanguageFolder());

    select.trigger();
    EXPECT_EQ(catalogue.GetLanguageFile(), str("Mine.lng"));
    EXPECT_EQ(shownText(*window, "cmdRun"), str("&Los"))
        << "read from the language folder, not where it was chosen";

    // A chosen name that the folder lacks is created there, empty.
    select.trigger();
    EXPECT_TRUE(QFile::exists(catalogue.LanguageFolder() + str("Missing.lng")));
    EXPECT_EQ(shownText(*window, "cmdRun"), str("&Los")) << "translation never restores a design text";
}

TEST_F(TranslationTest, RestoreDefaultClearsTheChoiceAndAsksForARestart)
{
    useLanguage("[frmMain]\r\ncmdAddWindow=&Neu\r\n");
    openWindow();
    control<QAction>("mnuLanguageRestore").trigger();
    EXPECT_EQ(catalogue.GetLanguageFile(), QString());
    const auto stored = store.ReadSetting(MessageCatalogue::RegistryStoreName, MessageCatalogue::RegistryKey,
        MessageCatalogue::RegistryValue, str("S"), str("unset"));
    EXPECT_EQ(settingText(stored.value), QString());
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(
        dialogs.questions[0].text, str("The default Language has been restored. Please restart the Program"));
    EXPECT_EQ(shownText(*window, "cmdAddWindow"), str("&Neu"))
        << "the window keeps its texts until a restart";
}
