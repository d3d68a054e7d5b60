#include "store/RuleSet.h"

#include "RuleSetFixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace Tollgate;

namespace {

QString joined(const RuleTable& table, int index)
{
    return column(table, index).join(u',');
}

} // namespace

TEST(RuleTable, RowsAreAddressedByPosition)
{
    RuleTable table(3);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(table.appendRow({str("a.exe")}), 1);
    EXPECT_EQ(table.cell(1, 1), QString()) << "a new row's sub-items are empty";
    table.appendRow({str("b.exe"), str("(3) Block")});
    table.appendRow({str("b.exe"), str("(2) Always Run"), str("/usr/bin/b")});
    EXPECT_EQ(joined(table, 0), str("a.exe,b.exe,b.exe")) << "duplicates stay, in order";
    table.removeRule(2);
    EXPECT_EQ(table.cell(2, 1), str("(2) Always Run")) << "rows below move up";
    for (const auto& [row, column] : {std::pair(0, 0), std::pair(3, 0), std::pair(1, 5)})
        EXPECT_EQ(table.cell(row, column), QString()) << row << "," << column;
    EXPECT_EQ(table.setCell(9, 0, str("x")), 0);
    table.removeRule(0);
    table.removeRule(3);
    EXPECT_EQ(table.count(), 2);
    table.clear();
    EXPECT_EQ(table.count(), 0);
}

TEST(RuleTable, HeaderClicksSortDescendingFirstAndKeepTheTableSorted)
{
    RuleTable table(2);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    table.resetRows(
        {{str("b"), str("(1) Block")}, {str("A"), str("(2) Bring To Front")}, {str("c"), str("(0) Ignore")}});
    EXPECT_FALSE(table.keepsSorted());
    const QPersistentModelIndex selected(table.index(1, 0));

    // The order a click gives, and the first column in it.
    const auto click = [&table](int column) {
        table.toggleSort(column);
        return std::pair(table.sortOrder(), joined(table, 0));
    };
    EXPECT_EQ(click(1), std::pair(Qt::DescendingOrder, str("A,b,c")));
    EXPECT_EQ(click(1), std::pair(Qt::AscendingOrder, str("c,b,A")));
    EXPECT_EQ(selected.data().toString(), str("A")) << "selections follow their rows";
    EXPECT_EQ(selected.row(), 2);
    EXPECT_EQ(click(0), std::pair(Qt::DescendingOrder, str("c,b,A"))) << "compared without regard to case";
    EXPECT_EQ(table.appendRow({str("bb")}), 2) << "appended rows take their sorted place";
    EXPECT_EQ(table.appendRow({str("b"), str("second")}), 4) << "after equal rows";
    EXPECT_EQ(joined(table, 1), str("(0) Ignore,,(1) Block,second,(2) Bring To Front"));

    // An overwritten row moves to its sorted place at once.
    EXPECT_EQ(table.setCell(1, 0, str("a0")), 4);
    EXPECT_EQ(joined(table, 0), str("bb,b,b,a0,A"));
    EXPECT_EQ(table.setCell(4, 1, str("(1) Block")), 4) << "other columns do not move a row";

    // Rows reset in bulk into a sorted table take the places appending them would give.
    RuleTable single(2);
    single.toggleSort(0);
    QList<QStringList> rows;
    for (int i = 0; i < 50; ++i)
        rows.append({QString::number((i * 7) % 13), QString::number(i)});
    table.resetRows(rows);
    for (const QStringList& row : rows)
        single.appendRow(row);
    EXPECT_EQ(column(table, 1), column(single, 1));
}

TEST(RuleSet, SingleValuesAndTheChangedFlag)
{
    RuleSet rules;
    QSignalSpy changed(&rules, &RuleSet::changedChanged);
    EXPECT_EQ(std::pair(rules.changed(), rules.idleTime()), std::pair(false, 30));
    for (const auto& [set, kept] : {std::pair(10, 30), std::pair(601, 600), std::pair(95, 95)}) {
        rules.setIdleTime(set);
        EXPECT_EQ(rules.idleTime(), kept);
    }
    EXPECT_FALSE(rules.changed()) << "only the user's slider move marks the idle time changed";

    rules.setBlockMessage(str("one\ntwo\rthree\r\nfour"));
    EXPECT_EQ(rules.blockMessage(), str("one\r\ntwo\r\nthree\r\nfour"));
    rules.setTimeoutMessage(str("x\n"));
    EXPECT_EQ(rules.timeoutMessage(), str("x\r\n"));

    rules.setPassword(str("secret"));
    EXPECT_TRUE(rules.changed()) << "a new password marks the rule set changed";
    rules.setChanged(false);
    rules.setPassword(str("secret"));
    EXPECT_FALSE(rules.changed()) << "the same text is no change";
    EXPECT_EQ(changed.count(), 2);
}
