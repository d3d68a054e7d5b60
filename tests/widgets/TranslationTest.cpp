#include "WidgetFixture.h"
#include "lang/QtTextTranslator.h"
#include "lang/WindowTranslation.h"
#include "profile/IniDocument.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/TabStrip.h"
#include "ui/WindowRuleEditor.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QTreeView>

using namespace Tollgate;

namespace {

using Entries = QMap<QString, QString>;

// The text a language file can replace: a control's caption, empty for controls without one.
QString caption(QObject& control)
{
    const std::pair<const char*, const char*> properties[] = {{"QAbstractButton", "text"}, {"QLabel", "text"},
        {"QGroupBox", "title"}, {"QMenu", "title"}, {"QAction", "text"}};
    for (const auto& [type, property] : properties) {
        if (control.inherits(type))
            return control.property(property).toString();
    }
    return {};
}

// Texts that code sets as soon as the window shows, so a translation would never be seen.
const QStringList SetByCode
    = {str("frmMain.lblInfo"), str("frmUserMessage.lblMessage"), str("frmUserMessage.cmdOK")};

// Whether a control is the window's own and not one of a dialog made as its child.
bool ownedBy(const QObject* control, const QWidget& window)
{
    const QObject* parent = control->parent();
    while (parent && !qobject_cast<const QDialog*>(parent) && !qobject_cast<const QMainWindow*>(parent))
        parent = parent->parent();
    return parent == &window;
}

// Every entry a language file can give a window, with the text the window shows for it:
// its title, each named control with a caption, each tab and each column header.
Entries translatableEntries(QWidget& window)
{
    Entries entries {{WindowTranslation::FormCaptionEntry, window.windowTitle()}};
    for (QObject* control : window.findChildren<QObject*>()) {
        const QString name = control->objectName();
        // Parts of Qt's own widgets, such as a tab bar's scroll arrows, have no text to translate.
        if (!name.isEmpty() && !name.startsWith(str("qt_")) && ownedBy(control, window)
            && !caption(*control).isEmpty() && !SetByCode.contains(window.objectName() + u'.' + name)
            && !entries.contains(name))
            entries.insert(name, caption(*control));
    }
    for (const TabStrip* tabs : window.findChildren<TabStrip*>()) {
        for (int n = 0; n < tabs->count() && ownedBy(tabs, window); ++n)
            entries.insert(str("%1.Tabs(%2)").arg(tabs->objectName()).arg(n + 1), tabs->tabText(n));
    }
    for (const QTreeView* list : window.findChildren<QTreeView*>()) {
        for (int n = 0; list->model() && ownedBy(list, window) && n < list->model()->columnCount(); ++n)
            entries.insert(str("%1.ColumnHeaders(%2)").arg(list->objectName()).arg(n + 1),
                list->model()->headerData(n, Qt::Horizontal).toString());
    }
    return entries;
}

// What a window receives when it becomes active; the survey's windows translate then.
void activate(QWidget& window)
{
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activation);
}

class TranslationTest : public WidgetFixture
{
protected:
    QString shown(const char* name) { return caption(control<QObject>(name)); }
};

} // namespace

// Every window shows each shipped language's texts. A new control or message without a
// text in every shipped file fails here, and the message shows the line to add; an entry
// that names nothing real fails too, since a misspelt name would translate nothing.
TEST_F(TranslationTest, EveryWindowShowsEveryShippedLanguageAndEveryFileIsComplete)
{
    const QDir folder(str(TOLLGATE_SOURCE_DIR "/data/Language"));
    const QStringList files = folder.entryList({str("*.lng")}, QDir::Files);
    ASSERT_TRUE(files.contains(str("English.lng")));
    // Qt's own texts are the ones the template lists.
    Entries qtTexts;
    const QString english = QString::fromUtf8(Sandbox::readFile(folder.filePath(str("English.lng"))));
    for (const QString& line : english.section(str("\r\n[Qt]\r\n"), 1)
                                   .section(str("\r\n["), 0, 0)
                                   .split(str("\r\n"), Qt::SkipEmptyParts))
        qtTexts.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    ASSERT_TRUE(qtTexts.contains(str("QPlatformTheme/&Yes")) && qtTexts.contains(str("QLineEdit/&Copy")));
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray bytes = Sandbox::readFile(folder.filePath(file));
        EXPECT_FALSE(bytes.contains("\n\n")) << "no empty lines";
        EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n")) << "CR LF line ends throughout";
        const QString text = QString::fromUtf8(bytes);
        useLanguage(bytes, qPrintable(file));
        openWindow();
        WindowRuleEditor windowEditor(context, window.get());
        ProcessRuleEditor processEditor(context, window.get());
        processEditor.prepare(0);
        UserMessageWindow message(rules, catalogue, fake.windows());
        PasswordPrompt prompt(rules, survey, catalogue, fake.windows());
        windowEditor.show();
        processEditor.show();
        message.ShowBlockMessage();
        prompt.ShowPasswordPrompt();
        activate(message);
        activate(prompt);
        QMap<QString, Entries> sections;
        for (QWidget* shown :
            QList<QWidget*> {window.get(), &windowEditor, &processEditor, &message, &prompt})
            sections.insert(shown->objectName(), translatableEntries(*shown));
        ASSERT_GT(sections.value(str("frmMain")).size(), 30) << "the main window's controls were found";
        for (const QString& key : MessageCatalogue::builtInKeys())
            sections[str("Messages")].insert(key, MessageCatalogue::builtInText(key));

        for (auto section = sections.cbegin(); section != sections.cend(); ++section) {
            const auto translation = WindowTranslation::fromText(text, section.key());
            const std::string name = section.key().toStdString();
            for (auto entry = section->cbegin(); entry != section->cend(); ++entry) {
                const QString translated = translation.caption(entry.key());
                const std::string key = entry.key().toStdString();
                EXPECT_FALSE(translated.isEmpty())
                    << "[" << name << "] lacks " << key << "=" << entry->toStdString();
                if (section.key() != str("Messages")) {
                    EXPECT_TRUE(translated.isEmpty() || translated == *entry)
                        << "[" << name << "] shows " << entry->toStdString() << " for " << key;
                    continue;
                }
                EXPECT_TRUE(file == str("English.lng") || key == "CAPTION_OK" || translated != *entry)
                    << key << " left in English";
                EXPECT_TRUE(!key.starts_with("ACTION_") || translated.left(4) == entry->left(4))
                    << key << " keeps its \"(n) \" prefix";
                EXPECT_TRUE(!entry->contains(str("%2"))
                    || (translated.contains(str("%1")) && translated.contains(str("%2"))))
                    << key;
            }
        }
        const IniDocument parsed = IniDocument::parse(text);
        for (auto entry = qtTexts.cbegin(); entry != qtTexts.cend(); ++entry) {
            const QString translated = parsed.readString(QtTextTranslator::Section, entry.key(), QString());
            EXPECT_FALSE(translated.isEmpty()) << "[Qt] lacks " << entry.key().toStdString();
            EXPECT_TRUE(file != str("English.lng")
                || QtTextTranslator::entryName(entry.key().section(u'/', 0, 0), translated) == entry.key())
                << entry.key().toStdString() << " is not its own source text";
        }
        const auto messages = WindowTranslation::fromText(text, str("Messages"));
        EXPECT_EQ(shown("lblInfo"), messages.caption(str("INFO_WINDOWS")))
            << "the info line from the messages";
        EXPECT_EQ(processEditor.actionBox().itemText(3), messages.caption(str("ACTION_PROCESS_BLOCK")));
        message.Timer_Timer();
        EXPECT_EQ(message.windowTitle(), sections[str("frmUserMessage")][str("FORM_CAPTION")] + str(" (15)"))
            << "the countdown goes on the translated title";

        QString section;
        for (const QString& line : text.split(str("\r\n"), Qt::SkipEmptyParts)) {
            if (line.startsWith(u';'))
                continue;
            if (line.startsWith(u'[')) {
                section = line.mid(1, line.indexOf(u']') - 1);
                EXPECT_TRUE(sections.contains(section) || section == QtTextTranslator::Section)
                    << "no window " << section.toStdString();
                continue;
            }
            EXPECT_TRUE((section == QtTextTranslator::Section ? qtTexts : sections.value(section))
                            .contains(line.section(u'=', 0, 0)))
                << "[" << section.toStdString() << "] has no " << line.toStdString();
        }
    }
}

// Names match exactly, values are taken as written, and controls without a caption ignore
// their entries.
TEST_F(TranslationTest, NamesMatchExactlyAndValuesAreTakenAsWritten)
{
    useLanguage(
        "[frmWindow]\r\ncmdAddWindow=Wrong window\r\n[frmMain]\r\ncmdaddprocess=lower case\r\n"
        "cmdClearProcesses =blank before\r\ncmdClearWindows= blank after \r\n"
        "txtPassword=not a password\r\nsliderIdleTime=5\r\n[frmUserMessage]\r\nFORM_CAPTION=Meldung\r\n");
    openWindow();
    EXPECT_EQ(shown("cmdAddWindow"), str("Add Window")) << "another window's section";
    EXPECT_EQ(shown("cmdAddProcess"), str("Add Process")) << "names are case-sensitive";
    EXPECT_EQ(shown("cmdClearProcesses"), str("Clear Process List")) << "a blank before = is not found";
    EXPECT_EQ(shown("cmdClearWindows"), str(" blank after ")) << "blanks after = are kept";
    EXPECT_EQ(control<QLineEdit>("txtPassword").text(), QString());
    EXPECT_EQ(rules.idleTime(), 30);
    EXPECT_FALSE(rules.changed()) << "entries of controls without a caption change nothing";

    // A message window keeps the title it had at its first tick, whatever language comes later.
    rules.setBlockMessage(str("A much longer message than the one the language file gives"));
    notifier.showBlockMessage();
    const QSize sized = message().size();
    activate(message());
    EXPECT_EQ(message().size(), sized) << "not resized for the file's texts";
    message().Timer_Timer();
    useLanguage("[frmUserMessage]\r\nFORM_CAPTION=Message nouveau\r\n", "Other.lng");
    message().Timer_Timer();
    EXPECT_EQ(message().windowTitle(), str("Meldung (14)"));
}

// Select stores the bare name and translates the window at once; Restore clears the choice
// and asks for a restart.
TEST_F(TranslationTest, SelectLanguageStoresTheBareNameAndRestoreDefaultClearsIt)
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
    EXPECT_EQ(shown("cmdRun"), str("&Los")) << "read from the language folder, not where it was chosen";

    // A chosen name that the folder lacks is created there, empty.
    select.trigger();
    EXPECT_TRUE(QFile::exists(catalogue.LanguageFolder() + str("Missing.lng")));
    EXPECT_EQ(shown("cmdRun"), str("&Los")) << "translation never restores a design text";

    control<QAction>("mnuLanguageRestore").trigger();
    EXPECT_EQ(catalogue.GetLanguageFile(), QString());
    const auto stored = store.ReadSetting(MessageCatalogue::RegistryStoreName, MessageCatalogue::RegistryKey,
        MessageCatalogue::RegistryValue, str("S"), str("unset"));
    EXPECT_EQ(settingText(stored.value), QString());
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(
        dialogs.questions[0].text, str("The default Language has been restored. Please restart the Program"));
    EXPECT_EQ(shown("cmdRun"), str("&Los")) << "the window keeps its texts until a restart";
}
