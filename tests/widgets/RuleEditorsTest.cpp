#include "WidgetFixture.h"
#include "ui/ProcessRuleEditor.h"
#include "ui/WindowRuleEditor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

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

QStringList entries(const QComboBox& box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts.append(box.itemText(i));
    return texts;
}

class RuleEditorsTest : public WidgetFixture
{
protected:
    // Runs an editor through the main window, as the Add button or the list does.
    void editWindow(int row, std::function<void(WindowRuleEditor&)> script)
    {
        dialogs.editorScripts.push_back(
            [script](QDialog& dialog) { script(static_cast<WindowRuleEditor&>(dialog)); });
        window->EditWindowRule(row);
    }
    void editProcess(int row, std::function<void(ProcessRuleEditor&)> script)
    {
        dialogs.editorScripts.push_back(
            [script](QDialog& dialog) { script(static_cast<ProcessRuleEditor&>(dialog)); });
        window->EditProcessRule(row);
    }

    static QPushButton& button(QDialog& dialog, const char* name)
    {
        return *dialog.findChild<QPushButton*>(str(name));
    }
};

} // namespace

TEST_F(RuleEditorsTest, WindowEditorOffersTheThreeActionsAfreshOnEveryOpening)
{
    for (int opening = 0; opening < 2; ++opening) {
        editWindow(0, [](WindowRuleEditor& editor) {
            EXPECT_EQ(entries(editor.actionBox()),
                (QStringList {str("(0) Ignore"), str("(1) Block"), str("(2) Bring To Front")}));
            EXPECT_EQ(editor.actionBox().currentText(), QString()) << "a new rule starts without an action";
            EXPECT_EQ(editor.captionBox().text(), QString());
            EXPECT_EQ(editor.rowId(), 0);
            EXPECT_EQ(editor.objectName(), str("frmWindow"));
            EXPECT_EQ(editor.windowTitle(), str("Add or Edit Window"));
            const QRect screen = editor.screen()->availableGeometry();
            EXPECT_LE((editor.frameGeometry().center() - screen.center()).manhattanLength(), 2) << "centred";
            EXPECT_EQ(editor.minimumSize(), editor.maximumSize()) << "fixed size";
        });
    }
}

TEST_F(RuleEditorsTest, WindowEditorAppendsARuleOnOk)
{
    addWindowRule("*old*", "(0) Ignore");
    editWindow(0, [](WindowRuleEditor& editor) {
        QTest::keyClicks(&editor.captionBox(), str("*Solitaire*"));
        choose(editor.actionBox(), 1);
        button(editor, "cmdOK").click();
        EXPECT_FALSE(editor.isVisible());
    });
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern),
        (QStringList {str("*old*"), str("*Solitaire*")}));
    EXPECT_EQ(rules.windowRules().cell(2, RuleSet::WindowAction), str("(1) Block"));
    EXPECT_TRUE(rules.changed());

    // No action chosen: the row gets an empty action, which means Ignore.
    editWindow(0, [](WindowRuleEditor& editor) {
        editor.captionBox().setText(str("  "));
        editor.OK();
    });
    EXPECT_EQ(rules.windowRules().cell(3, RuleSet::WindowPattern), str("  ")) << "taken exactly as typed";
    EXPECT_EQ(rules.windowRules().cell(3, RuleSet::WindowAction), QString());

    // A typed action text is as good as a chosen one.
    editWindow(0, [](WindowRuleEditor& editor) {
        editor.captionBox().setText(str("*chat*"));
        QTest::keyClicks(editor.actionBox().lineEdit(), str("(2) Bring To Front"));
        editor.OK();
    });
    EXPECT_EQ(rules.windowRules().cell(4, RuleSet::WindowAction), str("(2) Bring To Front"));
}

// OK without a name keeps an editor open; it has no default button, and Escape cancels.
TEST_F(RuleEditorsTest, EditorsCloseOnlyOnOkWithANameOrOnCancel)
{
    editWindow(0, [](WindowRuleEditor& editor) {
        choose(editor.actionBox(), 1);
        button(editor, "cmdOK").click();
        EXPECT_TRUE(editor.isVisible()) << "an empty pattern keeps the editor open";
        button(editor, "cmdCancel").click();
        EXPECT_FALSE(editor.isVisible());
    });
    editWindow(0, [](WindowRuleEditor& editor) {
        editor.captionBox().setText(str("*x*"));
        QTest::keyClick(&editor.captionBox(), Qt::Key_Return);
        QTest::keyClick(editor.actionBox().lineEdit(), Qt::Key_Return);
        EXPECT_TRUE(editor.isVisible()) << "the editor has no default button";
        QTest::keyClick(&editor.captionBox(), Qt::Key_Escape);
        EXPECT_FALSE(editor.isVisible());
    });
    editProcess(0, [](ProcessRuleEditor& editor) {
        choose(editor.actionBox(), 3);
        button(editor, "cmdOK").click();
        EXPECT_TRUE(editor.isVisible());
        editor.processBox().setText(str("x"));
        QTest::keyClick(&editor.processBox(), Qt::Key_Enter);
        EXPECT_TRUE(editor.isVisible());
        QTest::keyClick(&editor.processBox(), Qt::Key_Escape);
        EXPECT_FALSE(editor.isVisible());
    });
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_EQ(rules.processRules().count(), 0);
    EXPECT_FALSE(rules.changed());
}

TEST_F(RuleEditorsTest, WindowEditorRewritesTheEditedRowInPlace)
{
    addWindowRule("*a*", "(0) Ignore");
    addWindowRule("*b*", "(0) Ignore");
    addWindowRule("*c*", "(0) Ignore");
    editWindow(2, [](WindowRuleEditor& editor) {
        EXPECT_EQ(editor.captionBox().text(), str("*b*"));
        EXPECT_EQ(editor.rowId(), 2);
        choose(editor.actionBox(), 1);
        editor.OK();
    });
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern),
        (QStringList {str("*a*"), str("*b*"), str("*c*")}));
    EXPECT_EQ(rules.windowRules().cell(2, RuleSet::WindowAction), str("(1) Block"));
    EXPECT_TRUE(rules.changed());

    rules.setChanged(false);
    editWindow(3, [](WindowRuleEditor& editor) { editor.OK(); });
    EXPECT_EQ(rules.windowRules().cell(3, RuleSet::WindowPattern), str("*c*"));
    EXPECT_TRUE(rules.changed()) << "OK marks changed even when nothing was edited";

    // While the list keeps itself sorted, the rewritten row moves to its place at once.
    rules.windowRules().toggleSort(RuleSet::WindowPattern);
    ASSERT_EQ(rules.windowRules().cell(1, RuleSet::WindowPattern), str("*c*"));
    editWindow(1, [](WindowRuleEditor& editor) {
        editor.captionBox().setText(str("*0*"));
        choose(editor.actionBox(), 2);
        editor.OK();
    });
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern),
        (QStringList {str("*b*"), str("*a*"), str("*0*")}));
    EXPECT_EQ(rules.windowRules().cell(3, RuleSet::WindowAction), str("(2) Bring To Front"));
}

TEST_F(RuleEditorsTest, ProcessEditorEnablesTheFieldsTheChosenActionUses)
{
    editProcess(0, [](ProcessRuleEditor& editor) {
        EXPECT_EQ(editor.objectName(), str("frmProcess"));
        EXPECT_EQ(entries(editor.actionBox()),
            (QStringList {str("(0) Ignore"), str("(1) Close Process when Computer is Idle"),
                str("(2) Always Run"), str("(3) Block")}));
        auto* browse = editor.findChild<QPushButton*>(str("cmdBrowse"));
        auto* nameLabel = editor.findChild<QLabel*>(str("lblProcessName"));
        const auto state = [&] {
            return QList<bool> {nameLabel->isEnabled(), editor.processBox().isEnabled(),
                editor.exeBox().isEnabled(), browse->isEnabled()};
        };
        EXPECT_EQ(state(), (QList<bool> {false, false, false, false})) << "nothing until an action is chosen";

        choose(editor.actionBox(), 2);
        EXPECT_EQ(state(), (QList<bool> {true, true, true, true}));
        editor.exeBox().setText(str("/usr/bin/kiosk"));

        choose(editor.actionBox(), 3);
        EXPECT_EQ(state(), (QList<bool> {true, true, false, false}));
        EXPECT_EQ(editor.exeBox().text(), str("/usr/bin/kiosk")) << "a disabled field keeps its text";

        choose(editor.actionBox(), 1);
        EXPECT_EQ(state(), (QList<bool> {true, true, false, false}));

        // Typing an action does not switch the fields; only a choice from the list does.
        editor.actionBox().lineEdit()->clear();
        QTest::keyClicks(editor.actionBox().lineEdit(), str("(2) Always Run"));
        EXPECT_FALSE(editor.exeBox().isEnabled());

        choose(editor.actionBox(), 0);
        EXPECT_EQ(state(), (QList<bool> {false, false, false, false}));
        editor.enableControls(7);
        EXPECT_EQ(state(), (QList<bool> {false, false, false, false}));
    });
}

TEST_F(RuleEditorsTest, ProcessEditorWritesAllThreeCellsAsShown)
{
    editProcess(0, [](ProcessRuleEditor& editor) {
        choose(editor.actionBox(), 3);
        QTest::keyClicks(&editor.processBox(), str("game*.exe"));
        editor.OK();
        EXPECT_FALSE(editor.isVisible());
    });
    ASSERT_EQ(rules.processRules().count(), 1);
    EXPECT_EQ(rules.processRules().cell(1, RuleSet::ProcessName), str("game*.exe")) << "no wildcard check";
    EXPECT_EQ(rules.processRules().cell(1, RuleSet::ProcessAction), str("(3) Block"));
    EXPECT_EQ(rules.processRules().cell(1, RuleSet::ProcessExe), QString());
    EXPECT_TRUE(rules.changed());

    addProcessRule("kiosk", "(2) Always Run", "/opt/kiosk/run");
    editProcess(2, [](ProcessRuleEditor& editor) {
        EXPECT_TRUE(editor.exeBox().isEnabled()) << "enabled for the row's action before it shows";
        choose(editor.actionBox(), 1);
        editor.OK();
    });
    EXPECT_EQ(
        rules.processRules().cell(2, RuleSet::ProcessAction), str("(1) Close Process when Computer is Idle"));
    EXPECT_EQ(rules.processRules().cell(2, RuleSet::ProcessExe), str("/opt/kiosk/run"))
        << "a disabled field is written all the same";

    // An Ignore rule with a name already filled in can be saved.
    editProcess(2, [](ProcessRuleEditor& editor) {
        choose(editor.actionBox(), 0);
        editor.OK();
    });
    EXPECT_EQ(rules.processRules().cell(2, RuleSet::ProcessAction), str("(0) Ignore"));
}

TEST_F(RuleEditorsTest, BrowseSetsTheExecutableAndACancelKeepsIt)
{
    const QString first = Sandbox::folder() + str("/bin/first");
    const QString second = Sandbox::folder() + str("/bin/second");
    dialogs.files = {first, QString(), second};
    editProcess(0, [](ProcessRuleEditor& editor) {
        choose(editor.actionBox(), 2);
        editor.processBox().setText(str("kiosk"));
        button(editor, "cmdBrowse").click();
        button(editor, "cmdBrowse").click();
        EXPECT_EQ(editor.exeBox().text(), Sandbox::folder() + str("/bin/first")) << "cancelled: unchanged";
        button(editor, "cmdBrowse").click();
        button(editor, "cmdOK").click();
    });
    EXPECT_EQ(rules.processRules().cell(1, RuleSet::ProcessExe), second);
    ASSERT_EQ(dialogs.fileRequests.size(), 3);
    EXPECT_EQ(dialogs.fileRequests[0].startPath, QString());
    EXPECT_EQ(dialogs.fileRequests[1].startPath, first) << "starts from the file chosen last";
    EXPECT_EQ(dialogs.fileRequests[2].startPath, first);
}

TEST_F(RuleEditorsTest, EditorsOfferWhatRunsNow)
{
    Platform::FakeWindowSystem& desktop = fake.windows();
    const auto pid = fake.processes().addProcess(str("sol"));
    fake.processes().addProcess(str("firefox-esr"));
    fake.processes().addProcess(str("sol"));
    desktop.addWindow(str("Solitaire"), pid);
    desktop.addWindow(str("Mail - Inbox"), pid);
    desktop.addWindow(str("Solitaire"), pid);

    editWindow(0, [](WindowRuleEditor& editor) {
        auto* list = editor.findChild<QListWidget*>(str("lstOpenWindows"));
        ASSERT_NE(list, nullptr);
        EXPECT_FALSE(list->isVisible()) << "folded in at first: the design size";
        const QSize designSize = editor.size();
        editor.findChild<QPushButton*>(str("cmdOpenWindows"))->click();
        EXPECT_TRUE(list->isVisible());
        EXPECT_GT(editor.height(), designSize.height());
        ASSERT_EQ(list->count(), 2) << "each title once";
        const auto ticked = [list] {
            QStringList titles;
            for (int i = 0; i < list->count(); ++i) {
                if (list->item(i)->checkState() == Qt::Checked)
                    titles.append(list->item(i)->text());
            }
            return titles;
        };
        EXPECT_TRUE(ticked().isEmpty());
        QTest::keyClicks(&editor.captionBox(), str("*SOLI"));
        EXPECT_TRUE(ticked().isEmpty());
        QTest::keyClicks(&editor.captionBox(), str("*"));
        EXPECT_EQ(ticked(), QStringList {str("Solitaire")}) << "matched as the survey matches, ignoring case";

        const QList<QListWidgetItem*> mail = list->findItems(str("Mail - Inbox"), Qt::MatchExactly);
        ASSERT_EQ(mail.size(), 1);
        emit list->itemActivated(mail.first());
        EXPECT_EQ(editor.captionBox().text(), str("Mail - Inbox"));
    });

    editProcess(0, [](ProcessRuleEditor& editor) {
        auto* list = editor.findChild<QListWidget*>(str("lstRunningProcesses"));
        ASSERT_NE(list, nullptr);
        editor.setPickerShown(true);
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text(), str("firefox-esr"));
        EXPECT_EQ(list->item(1)->text(), str("sol"));
        emit list->itemActivated(list->item(1));
        EXPECT_EQ(editor.processBox().text(), str("sol"));
    });
}

TEST_F(RuleEditorsTest, EditorsPutThemselvesOnTopWhenActivated)
{
    editWindow(0, [this](WindowRuleEditor& editor) {
        editor.activateWindow();
        if (!QTest::qWaitForWindowActive(&editor))
            GTEST_SKIP() << "this platform plugin does not activate windows";
        const auto id = static_cast<Platform::WindowId>(editor.winId());
        EXPECT_TRUE(
            fake.windows().topMostCalls().contains(Platform::FakeWindowSystem::TopMostCall {id, true}));
    });
}
