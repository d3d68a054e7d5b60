#include "WidgetFixture.h"
#include "ui/RuleListView.h"
#include "ui/TabStrip.h"

#include <QHeaderView>
#include <QLineEdit>

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

    RuleTable& table(int tab) { return tab == 0 ? rules.windowRules() : rules.processRules(); }

    // Shows a tab and gives its list three rules.
    RuleListView& fill(int tab, QStringList names = {str("one"), str("two"), str("three")})
    {
        control<TabStrip>("TabStrip").setCurrentIndex(tab);
        for (const QString& name : names)
            table(tab).appendRow({name, str("(1) Block")});
        rules.setChanged(false);
        return control<RuleListView>(tab == 0 ? "Windows" : "Processes");
    }
};

} // namespace

// Removing rules is asked first; only Yes removes, and a Yes marks the rule set changed
// even when there was nothing to remove.
TEST_F(RuleListsTest, DeleteAndClearAskAndOnlyYesRemovesAndHeaderClicksSort)
{
    for (const int tab : {0, 1}) {
        SCOPED_TRACE(tab);
        RuleListView& view = fill(tab);
        auto& clear = control<QPushButton>(tab == 0 ? "cmdClearWindows" : "cmdClearProcesses");
        // The rules left and whether the rule set was marked changed since the last check.
        const auto left = [&](QStringList names, bool changed) {
            EXPECT_EQ(column(table(tab), 0), names);
            EXPECT_EQ(rules.changed(), changed);
            rules.setChanged(false);
        };
        view.selectPosition(2);
        dialogs.answers = {Answer::No, Answer::Yes, Answer::Yes, Answer::No, Answer::Yes, Answer::Yes};
        QTest::keyClick(&view, Qt::Key_Delete);
        left({str("one"), str("two"), str("three")}, false);
        QTest::keyClick(&view, Qt::Key_Delete, Qt::ShiftModifier);
        left({str("one"), str("three")}, true);
        view.selectionModel()->clearSelection();
        QTest::keyClick(&view, Qt::Key_Delete);
        left({str("one"), str("three")}, true); // nothing selected, nothing removed, but a Yes
        clear.click();
        left({str("one"), str("three")}, false);
        clear.click();
        left({}, true);
        clear.click();
        left({}, true); // an empty list is cleared the same way

        // Header clicks sort descending, then ascending, and are no change of their own.
        QHeaderView* header = fill(tab, {str("b"), str("a"), str("c")}).header();
        const QPoint first(header->sectionSize(0) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, first);
        EXPECT_EQ(column(table(tab), 0), (QStringList {str("c"), str("b"), str("a")}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, first);
        EXPECT_EQ(column(table(tab), 0), (QStringList {str("a"), str("b"), str("c")}));
        EXPECT_FALSE(rules.changed());
    }
    ASSERT_EQ(dialogs.questions.size(), 12);
    EXPECT_EQ(dialogs.questions[0].text, str("Are you sure you want to delete this item?"));
    EXPECT_EQ(dialogs.questions[3].text, str("Are you sure you want to clear this list?"));
    EXPECT_EQ(dialogs.questions[3].buttons, UserDialogs::Buttons::YesNo);
}

TEST_F(RuleListsTest, EnterReturnAndDoubleClickEditOnlyASelectedRule)
{
    RuleListView& view = fill(0);
    view.setFocus();
    const QPoint empty(5, view.viewport()->height() - 5);
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(dialogs.modalRuns, 0) << "no selected rule, no editor";

    // A double click elsewhere edits the selected rule, on a rule that rule.
    const QPoint third = view.visualRect(view.model()->index(2, 0)).center();
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { QTest::keyClick(&view, Qt::Key_Return); }, "two"},
        {[&] { QTest::keyClick(&view, Qt::Key_Enter); }, "two"},
        {[&] { QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, empty); }, "two"},
        {[&] { QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, third); }, "three"},
    };
    for (const auto& [gesture, shows] : cases) {
        SCOPED_TRACE(shows);
        view.selectPosition(2);
        QString shown;
        dialogs.editorScripts.push_back(
            [&](QDialog& editor) { shown = child<QLineEdit>(editor, "txtCaption").text(); });
        gesture();
        EXPECT_EQ(shown, str(shows));
    }
    EXPECT_EQ(dialogs.modalRuns, 4);
    EXPECT_FALSE(rules.changed()) << "an editor closed without OK changes nothing";
}
