#include "WidgetFixture.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/WindowRuleEditor.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

using namespace Tollgate;

namespace {

// Chooses an entry of an action list the way the user does, so that the list reports a
// choice and not only a change of its text.
void choose(QComboBox& box, int index)
{
    box.setCurrentIndex(index - 1);
    QTest::keyClick(&box, Qt::Key_Down);
    ASSERT_EQ(box.currentIndex(), index);
}

QComboBox& actionBox(QDialog& editor)
{
    return child<QComboBox>(editor, "cboAction");
}

// The pattern of a window rule, the program name of a process rule.
QLineEdit& nameBox(QDialog& editor)
{
    return child<QLineEdit>(editor, editor.objectName() == str("frmWindow") ? "txtCaption" : "txtProcess");
}

class RuleEditorsTest : public WidgetFixture
{
protected:
    RuleTable& table(bool windows) { return windows ? rules.windowRules() : rules.processRules(); }

    // Runs an editor through the main window, as the Add button or the list does.
    void edit(bool windows, int row, std::function<void(QDialog&)> script)
    {
        dialogs.editorScripts.push_back(std::move(script));
        if (windows)
            window->EditWindowRule(row);
        else
            window->EditProcessRule(row);
    }
};

} // namespace

// OK without a name keeps an editor open; it has no default button, and Escape and
// Cancel close it without writing anything.
TEST_F(RuleEditorsTest, EditorsCloseOnlyOnOkWithANameOrOnCancelAndOkWritesTheRuleAsShown)
{
    for (const bool windows : {true, false}) {
        SCOPED_TRACE(windows ? "window editor" : "process editor");
        rules.setChanged(false);
        edit(windows, 0, [](QDialog& editor) {
            EXPECT_EQ(nameBox(editor).text(), QString());
            EXPECT_EQ(actionBox(editor).currentText(), QString()) << "a new rule starts without an action";
            choose(actionBox(editor), 1);
            child<QPushButton>(editor, "cmdOK").click();
            EXPECT_TRUE(editor.isVisible()) << "an empty name keeps the editor open";
            nameBox(editor).setText(str("x"));
            QTest::keyClick(&nameBox(editor), Qt::Key_Return);
            QTest::keyClick(actionBox(editor).lineEdit(), Qt::Key_Enter);
            EXPECT_TRUE(editor.isVisible()) << "the editor has no default button";
            QTest::keyClick(&nameBox(editor), Qt::Key_Escape);
            EXPECT_FALSE(editor.isVisible());
        });
        edit(windows, 0, [](QDialog& editor) {
            nameBox(editor).setText(str("y"));
            child<QPushButton>(editor, "cmdCancel").click();
            EXPECT_FALSE(editor.isVisible());
        });
        RuleTable& rows = table(windows);
        EXPECT_EQ(rows.count(), 0);
        EXPECT_FALSE(rules.changed());

        // OK writes the rule as shown into its row, or after the others; keeping a sorted list in
        // order is the table's own work.
        for (const char* name : {"b", "a", "c"})
            rows.appendRow({str(name), str("(0) Ignore")});
        rules.setChanged(false);
        edit(windows, 2, [](QDialog& editor) {
            EXPECT_EQ(nameBox(editor).text(), str("a")) << "filled from the row";
            EXPECT_EQ(actionBox(editor).currentText(), str("(0) Ignore"));
            child<QPushButton>(editor, "cmdOK").click();
        });
        EXPECT_EQ(column(rows, 0), (QStringList {str("b"), str("a"), str("c")}));
        EXPECT_TRUE(rules.changed()) << "OK marks changed even when nothing was edited";

        const std::pair<const char*, const char*> added[] = {{"new", "(7) Typed"}, {"  ", ""}};
        for (const auto& [name, action] : added) {
            edit(windows, 0, [&](QDialog& editor) {
                nameBox(editor).setText(str(name));
                QTest::keyClicks(actionBox(editor).lineEdit(), str(action));
                child<QPushButton>(editor, "cmdOK").click();
            });
        }
        EXPECT_EQ(column(rows, 0), (QStringList {str("b"), str("a"), str("c"), str("new"), str("  ")}))
            << "names are taken exactly as typed";
        EXPECT_EQ(rows.cell(4, 1), str("(7) Typed")) << "a typed action is as good as a chosen one";
        EXPECT_EQ(rows.cell(5, 1), QString()) << "no action chosen: an empty one, which means Ignore";
    }
}

// Browse fills the executable (a cancelled dialog keeps it) and starts from the file chosen
// last.
TEST_F(RuleEditorsTest, ProcessEditorEnablesTheFieldsTheChosenActionUsesAndWritesThemAll)
{
    const QString first = sandboxPath("bin/first");
    const QString second = sandboxPath("bin/second");
    dialogs.files = {first, QString(), second};
    QString chosen;
    edit(false, 0, [&](QDialog& dialog) {
        auto& editor = static_cast<ProcessRuleEditor&>(dialog);
        const auto enabled = [&] {
            return QList<bool> {child<QLabel>(editor, "lblProcessName").isEnabled(),
                editor.processBox().isEnabled(), editor.exeBox().isEnabled(),
                child<QPushButton>(editor, "cmdBrowse").isEnabled()};
        };
        EXPECT_EQ(enabled(), QList<bool>(4, false)) << "nothing until an action is chosen";
        const std::pair<int, QList<bool>> steps[] = {{2, {true, true, true, true}},
            {3, {true, true, false, false}}, {1, {true, true, false, false}}, {0, QList<bool>(4, false)}};
        for (const auto& [action, expected] : steps) {
            choose(editor.actionBox(), action);
            EXPECT_EQ(enabled(), expected) << "action " << action;
            for (int browse = 0; browse < 3 && action == 2; ++browse) {
                child<QPushButton>(editor, "cmdBrowse").click();
                EXPECT_EQ(editor.exeBox().text(), browse == 2 ? second : first) << "cancelled: unchanged";
                EXPECT_EQ(dialogs.fileRequests.last().startPath, browse == 0 ? QString() : first);
            }
        }
        // Typing an action does not switch the fields; only a choice from the list does.
        editor.actionBox().lineEdit()->clear();
        QTest::keyClicks(editor.actionBox().lineEdit(), str("(2) Always Run"));
        EXPECT_FALSE(editor.exeBox().isEnabled());
        editor.enableControls(7);
        EXPECT_EQ(enabled(), QList<bool>(4, false));

        choose(editor.actionBox(), 3);
        chosen = editor.actionBox().currentText();
        editor.processBox().setText(str("game*.exe"));
        editor.OK();
    });
    EXPECT_EQ(rules.processRules().cell(1, RuleSet::ProcessAction), chosen) << "the chosen action";
    EXPECT_EQ(rules.processRules().cell(1, RuleSet::ProcessName), str("game*.exe")) << "no wildcard check";
    EXPECT_EQ(rules.processRules().cell(1, RuleSet::ProcessExe), second)
        << "a disabled field keeps its text and is written all the same";

    addProcessRule("kiosk", "(2) Always Run", "/opt/kiosk/run");
    edit(false, 2, [](QDialog& editor) {
        EXPECT_TRUE(static_cast<ProcessRuleEditor&>(editor).exeBox().isEnabled())
            << "enabled for the row's action before it shows";
    });
}

TEST_F(RuleEditorsTest, EditorsOfferWhatRunsNow)
{
    const auto pid = fake.processes().addProcess(str("sol"));
    fake.processes().addProcess(str("firefox-esr"));
    fake.processes().addProcess(str("sol"));
    for (const char* title : {"Solitaire", "Mail - Inbox", "Solitaire"})
        fake.windows().addWindow(str(title), pid);
    const auto texts = [](const QListWidget& list, bool tickedOnly) {
        QStringList found;
        for (int i = 0; i < list.count(); ++i) {
            if (!tickedOnly || list.item(i)->checkState() == Qt::Checked)
                found.append(list.item(i)->text());
        }
        return found;
    };

    edit(true, 0, [&](QDialog& editor) {
        auto& list = child<QListWidget>(editor, "lstOpenWindows");
        EXPECT_FALSE(list.isVisible()) << "folded in at first";
        const int designHeight = editor.height();
        child<QPushButton>(editor, "cmdOpenWindows").click();
        EXPECT_GT(editor.height(), designHeight);
        ASSERT_EQ(texts(list, false), (QStringList {str("Solitaire"), str("Mail - Inbox")}))
            << "each title once";
        QTest::keyClicks(&nameBox(editor), str("*SOLI"));
        EXPECT_TRUE(texts(list, true).isEmpty());
        QTest::keyClicks(&nameBox(editor), str("*"));
        EXPECT_EQ(texts(list, true), QStringList {str("Solitaire")}) << "matched as the survey matches";
        emit list.itemActivated(list.item(1));
        EXPECT_EQ(nameBox(editor).text(), str("Mail - Inbox"));
    });

    edit(false, 0, [&](QDialog& editor) {
        auto& list = child<QListWidget>(editor, "lstRunningProcesses");
        static_cast<ProcessRuleEditor&>(editor).setPickerShown(true);
        ASSERT_EQ(texts(list, false), (QStringList {str("firefox-esr"), str("sol")})) << "sorted, each once";
        emit list.itemActivated(list.item(1));
        EXPECT_EQ(nameBox(editor).text(), str("sol"));
    });
}
