#include "WidgetFixture.h"
#include "lang/WindowTranslation.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/TabStrip.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

using namespace Tollgate;

namespace {

class TranslationTest : public WidgetFixture
{
protected:
    QString caption(const char* name) const
    {
        QObject& found = control<QObject>(name);
        if (auto* button = qobject_cast<QAbstractButton*>(&found))
            return button->text();
        if (auto* label = qobject_cast<QLabel*>(&found))
            return label->text();
        if (auto* frame = qobject_cast<QGroupBox*>(&found))
            return frame->title();
        if (auto* item = qobject_cast<QAction*>(&found))
            return item->text();
        return {};
    }
};

QString header(const RuleTable& table, int column)
{
    return table.headerData(column, Qt::Horizontal).toString();
}

} // namespace

TEST(WindowTranslationTest, FindsTheFirstEntryOfTheWindowsSectionOnly)
{
    const auto translation = WindowTranslation::fromText(
        str("[frmWindow]\r\ncmdOK=Window\r\n[frmMain]\r\nframeWindows=Frame\r\nWindows=List\r\ncmdOK=Main\r\n"
            "empty=\r\n[Other]\r\nlast=x\r\n"),
        str("frmMain"));
    EXPECT_EQ(translation.caption(str("cmdOK")), str("Main"));
    // An entry is found at the end of a longer name too; the list ignores it, having no caption.
    EXPECT_EQ(translation.caption(str("Windows")), str("Frame"));
    EXPECT_EQ(translation.caption(str("empty")), QString());
    EXPECT_EQ(translation.caption(str("last")), QString());
    EXPECT_EQ(WindowTranslation::fromText(str("[frmMain]\nlf=only\n"), str("frmMain")).caption(str("lf")),
        str("only"));
}

TEST_F(TranslationTest, WindowSectionReplacesCaptionsWhenTheWindowIsMade)
{
    useLanguage("[frmWindow]\r\ncmdAddWindow=Wrong window\r\n"
                "[frmMain]\r\ncmdAddWindow=&Neues Fenster\r\nFORM_CAPTION=Tollgate auf Deutsch\r\n"
                "TabStrip.Tabs(2)=Prozesse\r\nWindows.ColumnHeaders(2)=Aktion\r\n"
                "Processes.ColumnHeaders(3)=Programm\r\nmnuFileNew=&Neu\r\nmnuTools=&Extras\r\n"
                "framePassword=Passwort\r\n");
    openWindow();
    EXPECT_EQ(caption("cmdAddWindow"), str("&Neues Fenster"));
    EXPECT_EQ(window->windowTitle(), str("Tollgate auf Deutsch"));
    EXPECT_EQ(control<TabStrip>("TabStrip").tabText(0), str("Windows")) << "no entry, design text stays";
    EXPECT_EQ(control<TabStrip>("TabStrip").tabText(1), str("Prozesse"));
    EXPECT_EQ(header(rules.windowRules(), 0), str("Window Title"));
    EXPECT_EQ(header(rules.windowRules(), 1), str("Aktion"));
    EXPECT_EQ(header(rules.processRules(), 2), str("Programm"));
    EXPECT_EQ(caption("mnuFileNew"), str("&Neu"));
    EXPECT_EQ(control<QMenu>("mnuTools").title(), str("&Extras"));
    EXPECT_EQ(caption("framePassword"), str("Passwort"));
}

TEST_F(TranslationTest, NamesMatchExactlyAndValuesAreTakenAsWritten)
{
    useLanguage("[frmMain]\r\ncmdaddwindow=lower case\r\ncmdAddProcess =blank before\r\n"
                "cmdClearWindows= blank after \r\nlblWindows=\r\n"
                "[FRMMAIN]\r\ncmdClearProcesses=other case section\r\n");
    openWindow();
    EXPECT_EQ(caption("cmdAddWindow"), str("Add Window")) << "names are case-sensitive";
    EXPECT_EQ(caption("cmdAddProcess"), str("Add Process")) << "a blank before = is not found";
    EXPECT_EQ(caption("cmdClearWindows"), str(" blank after ")) << "blanks after = are kept";
    EXPECT_EQ(caption("lblWindows"), str("List of Windows to be controlled")) << "an empty value is ignored";
    EXPECT_EQ(caption("cmdClearProcesses"), str("Clear Process List")) << "section names are case-sensitive";
}

TEST_F(TranslationTest, ControlsWithoutACaptionIgnoreTheirEntriesAndTheInfoLineTakesTheMessages)
{
    useLanguage("[frmMain]\r\ntxtPassword=not a password\r\nsliderIdleTime=5\r\nWindows=list\r\n"
                "picInfo=picture\r\nTabStrip=tabs\r\ntxtBlockMessage=message\r\nlblInfo=Info\r\n"
                "[Messages]\r\nINFO_WINDOWS=Fenster\r\nINFO_PROCESSES=Prozesse\r\n");
    openWindow();
    EXPECT_EQ(control<QLineEdit>("txtPassword").text(), QString());
    EXPECT_EQ(rules.password(), QString());
    EXPECT_EQ(rules.idleTime(), 30);
    EXPECT_FALSE(rules.changed());
    EXPECT_EQ(control<TabStrip>("TabStrip").tabText(0), str("Windows"));
    EXPECT_EQ(header(rules.windowRules(), 0), str("Window Title"));
    EXPECT_EQ(caption("lblInfo"), str("Fenster")) << "the info line comes from the messages on both tabs";
    control<TabStrip>("TabStrip").setCurrentIndex(1);
    EXPECT_EQ(caption("lblInfo"), str("Prozesse"));
}

TEST_F(TranslationTest, EditorsTranslateTheirOwnSection)
{
    useLanguage("[frmMain]\r\ncmdOK=main\r\n[frmWindow]\r\ncmdOK=&Übernehmen\r\nFORM_CAPTION=Fenster\r\n"
                "txtCaption=pattern\r\n[frmProcess]\r\nlblExeName=Programmdatei\r\ncboAction=action\r\n"
                "[Messages]\r\nACTION_PROCESS_BLOCK=(3) Sperren\r\n");
    dialogs.editorScripts.push_back([](QDialog& editor) {
        EXPECT_EQ(editor.findChild<QPushButton*>(str("cmdOK"))->text(), str("&Übernehmen"));
        EXPECT_EQ(editor.windowTitle(), str("Fenster"));
        EXPECT_EQ(editor.findChild<QLineEdit*>(str("txtCaption"))->text(), QString());
    });
    window->EditWindowRule(0);
    dialogs.editorScripts.push_back([](QDialog& editor) {
        EXPECT_EQ(editor.findChild<QLabel*>(str("lblExeName"))->text(), str("Programmdatei"));
        EXPECT_EQ(static_cast<ProcessRuleEditor&>(editor).actionBox().itemText(3), str("(3) Sperren"))
            << "action texts are looked up at every opening";
        EXPECT_EQ(static_cast<ProcessRuleEditor&>(editor).actionBox().currentText(), QString());
    });
    window->EditProcessRule(0);
}

TEST_F(TranslationTest, SelectLanguageStoresTheBareNameAndTranslatesTheWindow)
{
    Sandbox::writeFile(str("Language/Mine.lng"), "[frmMain]\r\ncmdRun=&Los\r\n");
    Sandbox::writeFile(str("elsewhere/Mine.lng"), "[frmMain]\r\ncmdRun=&Wrong folder\r\n");

    dialogs.files = {QString()};
    control<QAction>("mnuLanguageSelect").trigger();
    EXPECT_EQ(catalogue.GetLanguageFile(), QString()) << "cancelled: nothing changes";
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].startPath, catalogue.LanguageFolder());

    dialogs.files = {Sandbox::folder() + str("/elsewhere/Mine.lng")};
    control<QAction>("mnuLanguageSelect").trigger();
    EXPECT_EQ(catalogue.GetLanguageFile(), str("Mine.lng"));
    EXPECT_EQ(caption("cmdRun"), str("&Los")) << "read from the language folder, not where it was chosen";

    // A chosen name that the folder lacks is created there, empty.
    dialogs.files = {Sandbox::folder() + str("/elsewhere/Missing.lng")};
    control<QAction>("mnuLanguageSelect").trigger();
    EXPECT_TRUE(QFile::exists(catalogue.LanguageFolder() + str("Missing.lng")));
    EXPECT_EQ(caption("cmdRun"), str("&Los")) << "translation never restores a design text";
}

TEST_F(TranslationTest, RestoreDefaultClearsTheChoiceAndAsksForARestart)
{
    useLanguage("[frmMain]\r\ncmdAddWindow=&Neu\r\n");
    openWindow();
    control<QAction>("mnuLanguageRestore").trigger();
    EXPECT_EQ(catalogue.GetLanguageFile(), QString());
    EXPECT_EQ(settingText(store
                              .ReadSetting(MessageCatalogue::RegistryStoreName, MessageCatalogue::RegistryKey,
                                  MessageCatalogue::RegistryValue, str("S"), str("unset"))
                              .value),
        QString());
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(
        dialogs.questions[0].text, str("The default Language has been restored. Please restart the Program"));
    EXPECT_EQ(dialogs.questions[0].icon, UserDialogs::Icon::Information);
    EXPECT_EQ(caption("cmdAddWindow"), str("&Neu")) << "the window keeps its texts until a restart";
}
