#include "WidgetFixture.h"
#include "ui/RuleListView.h"
#include "ui/TabStrip.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>

using namespace Tollgate;

namespace {

using Answer = UserDialogs::Answer;

class RuleListsTest : public WidgetFixture
{
protected:
    void SetUp() override
    {
        WidgetFixture::SetUp();
        window->show();
    }

    RuleListView& windowList() { return control<RuleListView>("Windows"); }
    RuleListView& processList() { return control<RuleListView>("Processes"); }

    void clickHeader(RuleListView& list, int column)
    {
        QHeaderView* header = list.header();
        const QPoint centre(
            header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
    }
};

} // namespace

TEST_F(RuleListsTest, ClearAsksAndOnlyYesEmptiesTheList)
{
    addWindowRule("*a*", "(1) Block");
    addWindowRule("*b*", "(0) Ignore");
    dialogs.answers = {Answer::No};
    control<QPushButton>("cmdClearWindows").click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].text, str("Are you sure you want to clear this list?"));
    EXPECT_EQ(dialogs.questions[0].buttons, UserDialogs::Buttons::YesNo);
    EXPECT_EQ(rules.windowRules().count(), 2);
    EXPECT_FALSE(rules.changed());

    dialogs.answers = {Answer::Yes};
    control<QPushButton>("cmdClearWindows").click();
    EXPECT_EQ(rules.windowRules().count(), 0);
    EXPECT_TRUE(rules.changed());

    // An empty list is cleared the same way: asked, and Yes marks the rule set changed.
    rules.setChanged(false);
    dialogs.answers = {Answer::Yes};
    control<QPushButton>("cmdClearProcesses").click();
    EXPECT_EQ(dialogs.questions.size(), 3);
    EXPECT_TRUE(rules.changed());
}

TEST_F(RuleListsTest, DeleteKeyRemovesTheSelectedRuleAfterYes)
{
    addProcessRule("one", "(3) Block");
    addProcessRule("two", "(3) Block");
    addProcessRule("three", "(1) Close Process when Computer is Idle");
    control<TabStrip>("TabStrip").setCurrentIndex(1);
    RuleListView& list = processList();
    list.selectPosition(2);

    dialogs.answers = {Answer::No};
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(rules.processRules().count(), 3);
    EXPECT_FALSE(rules.changed());

    dialogs.answers = {Answer::Yes};
    QTest::keyClick(&list, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(column(rules.processRules(), RuleSet::ProcessName), (QStringList {str("one"), str("three")}));
    EXPECT_TRUE(rules.changed());
    ASSERT_EQ(dialogs.questions.size(), 2);
    EXPECT_EQ(dialogs.questions[1].text, str("Are you sure you want to delete this item?"));
}

TEST_F(RuleListsTest, DeleteWithoutSelectionStillAsksAndMarksChanged)
{
    RuleListView& list = windowList();
    dialogs.answers = {Answer::Yes};
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(dialogs.questions.size(), 1) << "asked before the selection is looked at";
    EXPECT_TRUE(rules.changed());

    addWindowRule("*kept*", "(1) Block");
    list.selectionModel()->clearSelection();
    rules.setChanged(false);
    dialogs.answers = {Answer::Yes};
    window->deleteWindow();
    EXPECT_EQ(rules.windowRules().count(), 1) << "nothing selected, nothing removed";
    EXPECT_TRUE(rules.changed());
}

TEST_F(RuleListsTest, HeaderClicksSortDescendingThenAscendingAndKeepTheListSorted)
{
    addWindowRule("*b*", "(1) Block");
    addWindowRule("*a*", "(2) Bring To Front");
    addWindowRule("*c*", "(0) Ignore");
    RuleListView& list = windowList();

    clickHeader(list, RuleSet::WindowAction);
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern),
        (QStringList {str("*a*"), str("*b*"), str("*c*")}))
        << "first click: descending by action";
    clickHeader(list, RuleSet::WindowAction);
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowPattern),
        (QStringList {str("*c*"), str("*b*"), str("*a*")}));
    EXPECT_FALSE(rules.changed()) << "sorting is no change of its own";

    // A rule added afterwards takes its sorted place, not the last one.
    dialogs.editorScripts.push_back([](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(str("txtCaption"))->setText(str("*new*"));
        dialog.findChild<QComboBox*>(str("cboAction"))->setEditText(str("(1) Block"));
        dialog.findChild<QPushButton*>(str("cmdOK"))->click();
    });
    control<QPushButton>("cmdAddWindow").click();
    EXPECT_EQ(column(rules.windowRules(), RuleSet::WindowAction),
        (QStringList {str("(0) Ignore"), str("(1) Block"), str("(1) Block"), str("(2) Bring To Front")}));
    EXPECT_EQ(rules.windowRules().cell(3, RuleSet::WindowPattern), str("*new*"));
}

TEST_F(RuleListsTest, EnterAndDoubleClickEditOnlyASelectedRule)
{
    addWindowRule("*first*", "(1) Block");
    addWindowRule("*second*", "(2) Bring To Front");
    RuleListView& list = windowList();
    list.setFocus();

    QTest::keyClick(&list, Qt::Key_Return);
    const QPoint empty(5, list.viewport()->height() - 5);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(dialogs.modalRuns, 0) << "no selected rule, no editor";

    QString shownPattern;
    QString shownAction;
    dialogs.editorScripts.push_back([&](QDialog& dialog) {
        shownPattern = dialog.findChild<QLineEdit*>(str("txtCaption"))->text();
        shownAction = dialog.findChild<QComboBox*>(str("cboAction"))->currentText();
    });
    list.selectPosition(2);
    QTest::keyClick(&list, Qt::Key_Enter);
    EXPECT_EQ(shownPattern, str("*second*"));
    EXPECT_EQ(shownAction, str("(2) Bring To Front"));

    dialogs.editorScripts.push_back(
        [&](QDialog& dialog) { shownPattern = dialog.findChild<QLineEdit*>(str("txtCaption"))->text(); });
    const QRect firstRow = list.visualRect(rules.windowRules().index(0, 0));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, firstRow.center());
    EXPECT_EQ(shownPattern, str("*first*"));
    EXPECT_EQ(dialogs.modalRuns, 2);
    EXPECT_FALSE(rules.changed()) << "an editor closed without OK changes nothing";
}
