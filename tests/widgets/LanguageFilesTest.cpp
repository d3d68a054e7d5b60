#include "WidgetFixture.h"
#include "lang/WindowTranslation.h"
#include "notify/PasswordPrompt.h"
#include "notify/UserMessageWindow.h"
#include "notify/WindowNotifier.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/TabStrip.h"
#include "ui/WindowRuleEditor.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QTreeView>

using namespace Tollgate;

namespace {

// Texts that code sets as soon as the window shows, so a translation would never be seen.
const QStringList SetByCode
    = {str("frmMain.lblInfo"), str("frmUserMessage.lblMessage"), str("frmUserMessage.cmdOK")};

QString designText(QObject* control)
{
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* frame = qobject_cast<QGroupBox*>(control))
        return frame->title();
    if (auto* menu = qobject_cast<QMenu*>(control))
        return menu->title();
    if (auto* item = qobject_cast<QAction*>(control))
        return item->text();
    return {};
}

// The window a control belongs to: its nearest dialog or main window, so that an editor
// made as a child of the main window keeps its own controls.
QObject* owningWindow(QObject* control)
{
    QObject* parent = control->parent();
    while (parent && !qobject_cast<QDialog*>(parent) && !qobject_cast<QMainWindow*>(parent))
        parent = parent->parent();
    return parent;
}

bool hasCaption(QObject* control)
{
    return qobject_cast<QAbstractButton*>(control) || qobject_cast<QLabel*>(control)
        || qobject_cast<QGroupBox*>(control) || qobject_cast<QMenu*>(control)
        || qobject_cast<QAction*>(control);
}

// Every entry a language file can give a window, with the window's own text for it: its
// title, each named control with a caption anywhere in its object tree, each tab and
// each column header.
QList<std::pair<QString, QString>> translatableEntries(QWidget& window)
{
    QList<std::pair<QString, QString>> entries {{WindowTranslation::FormCaptionEntry, window.windowTitle()}};
    const QString section = window.objectName();
    for (QObject* control : window.findChildren<QObject*>()) {
        const QString name = control->objectName();
        if (name.isEmpty() || name.startsWith(str("qt_")) || !hasCaption(control)
            || owningWindow(control) != &window || SetByCode.contains(section + u'.' + name))
            continue;
        // Parts of Qt's own widgets, such as a tab bar's scroll arrows, have no text to translate.
        const QString text = designText(control);
        if (!text.isEmpty() && std::none_of(entries.cbegin(), entries.cend(), [&](const auto& it) {
                return it.first == name;
            }))
            entries.append({name, text});
    }
    for (TabStrip* tabs : window.findChildren<TabStrip*>()) {
        if (owningWindow(tabs) != &window)
            continue;
        for (int n = 0; n < tabs->count(); ++n)
            entries.append({str("%1.Tabs(%2)").arg(tabs->objectName()).arg(n + 1), tabs->tabText(n)});
    }
    for (QTreeView* list : window.findChildren<QTreeView*>()) {
        if (list->objectName().isEmpty() || !list->model() || owningWindow(list) != &window)
            continue;
        for (int n = 0; n < list->model()->columnCount(); ++n)
            entries.append({str("%1.ColumnHeaders(%2)").arg(list->objectName()).arg(n + 1),
                list->model()->headerData(n, Qt::Horizontal).toString()});
    }
    return entries;
}

class LanguageFilesTest : public WidgetFixture
{
protected:
    WindowNotifier windowNotifier {rules, catalogue, fake.windows()};

    // Every window of the program, as a translation sees it.
    QList<QWidget*> windows()
    {
        windowNotifier.setSurvey(survey);
        m_windowEditor = std::make_unique<WindowRuleEditor>(context, window.get());
        m_processEditor = std::make_unique<ProcessRuleEditor>(context, window.get());
        return {window.get(), static_cast<QWidget*>(m_windowEditor.get()),
            static_cast<QWidget*>(m_processEditor.get()), &windowNotifier.messageWindow(),
            &windowNotifier.passwordPrompt()};
    }

    void TearDown() override
    {
        // The editors are the main window's children: gone before it goes.
        m_windowEditor.reset();
        m_processEditor.reset();
        WidgetFixture::TearDown();
    }

    static QStringList shippedFiles()
    {
        return QDir(str(TOLLGATE_SOURCE_DIR "/data/Language")).entryList({str("*.lng")}, QDir::Files);
    }

    static QByteArray shipped(const QString& name)
    {
        return Sandbox::readFile(str(TOLLGATE_SOURCE_DIR "/data/Language/") + name);
    }

private:
    std::unique_ptr<WindowRuleEditor> m_windowEditor;
    std::unique_ptr<ProcessRuleEditor> m_processEditor;
};

} // namespace

// A new control or message without a text in every shipped language fails here; the
// message shows the line to add, with the English text.
TEST_F(LanguageFilesTest, EveryShippedFileTranslatesEveryControlAndMessage)
{
    const QList<QWidget*> all = windows();
    QList<std::pair<QString, QList<std::pair<QString, QString>>>> sections;
    for (QWidget* window : all)
        sections.append({window->objectName(), translatableEntries(*window)});
    ASSERT_GT(sections.first().second.size(), 30) << "the main window's controls were found";

    for (const QString& file : shippedFiles()) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray bytes = shipped(file);
        EXPECT_FALSE(bytes.contains("\n\n")) << "no empty lines";
        EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n")) << "CR LF line ends throughout";
        const QString text = QString::fromUtf8(bytes);
        for (const auto& [section, entries] : sections) {
            const auto translation = WindowTranslation::fromText(text, section);
            for (const auto& [entry, english] : entries) {
                EXPECT_FALSE(translation.caption(entry).isEmpty())
                    << "[" << section.toStdString() << "] lacks " << entry.toStdString() << "="
                    << english.toStdString();
            }
        }
        const auto messages = WindowTranslation::fromText(text, str("Messages"));
        for (const QString& key : MessageCatalogue::builtInKeys()) {
            const QString translated = messages.caption(key);
            EXPECT_FALSE(translated.isEmpty()) << "[Messages] lacks " << key.toStdString() << "="
                                               << MessageCatalogue::builtInText(key).toStdString();
            if (file != str("English.lng") && key != str("CAPTION_OK")) {
                EXPECT_NE(translated, MessageCatalogue::builtInText(key))
                    << key.toStdString() << " left in English";
            }
            if (key.startsWith(str("ACTION_"))) {
                EXPECT_EQ(translated.left(4), MessageCatalogue::builtInText(key).left(4))
                    << key.toStdString() << " keeps its \"(n) \" prefix";
            }
            if (MessageCatalogue::builtInText(key).contains(str("%2"))) {
                EXPECT_TRUE(translated.contains(str("%1")) && translated.contains(str("%2")))
                    << key.toStdString();
            }
        }
    }
}

// Every entry of a shipped file addresses something that exists: a misspelt control name
// would silently translate nothing, and an entry for a text that code sets is never seen.
TEST_F(LanguageFilesTest, ShippedFilesNameOnlyRealWindowsControlsAndKeys)
{
    const QList<QWidget*> all = windows();
    QHash<QString, QStringList> known;
    for (QWidget* window : all) {
        QStringList names;
        for (const auto& entry : translatableEntries(*window))
            names.append(entry.first);
        known.insert(window->objectName(), names);
    }
    known.insert(str("Messages"), MessageCatalogue::builtInKeys());

    for (const QString& file : shippedFiles()) {
        SCOPED_TRACE(file.toStdString());
        QString section;
        for (const QString& line : QString::fromUtf8(shipped(file)).split(str("\r\n"), Qt::SkipEmptyParts)) {
            if (line.startsWith(u';'))
                continue;
            if (line.startsWith(u'[')) {
                section = line.mid(1, line.indexOf(u']') - 1);
                EXPECT_TRUE(known.contains(section)) << "no window " << section.toStdString();
                continue;
            }
            const QString name = line.section(u'=', 0, 0);
            EXPECT_TRUE(known.value(section).contains(name))
                << "[" << section.toStdString() << "] has no " << name.toStdString();
        }
    }
}
