#include "store/RuleSet.h"

#include "RuleSetFixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace Tollgate;

namespace {

QStringList list(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out.append(str(item));
    return out;
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
    EXPECT_EQ(column(table, 0), list({"a.exe", "b.exe", "b.exe"})) << "duplicates stay, in order";
    table.removeRule(2);
    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(table.cell(2, 1), str("(2) Always Run")) << "rows below move up";
    EXPECT_EQ(table.cell(0, 0), QString());
    EXPECT_EQ(table.cell(3, 0), QString());
    EXPECT_EQ(table.cell(1, 5), QString());
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
    table.appendRow({str("b"), str("(1) Block")});
    table.appendRow({str("A"), str("(2) Bring To Front")});
    table.appendRow({str("c"), str("(0) Ignore")});
    EXPECT_FALSE(table.keepsSorted());

    table.toggleSort(1);
    EXPECT_EQ(table.sortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(column(table, 0), list({"A", "b", "c"}));
    table.toggleSort(1);
    EXPECT_EQ(table.sortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(column(table, 0), list({"c", "b", "A"}));

    table.toggleSort(0);
    EXPECT_EQ(table.sortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(column(table, 0), list({"c", "b", "A"})) << "compared without regard to case";
    EXPECT_EQ(table.appendRow({str("bb")}), 2) << "appended rows take their sorted place";
    EXPECT_EQ(column(table, 0), list({"c", "bb", "b", "A"}));
    EXPECT_EQ(table.appendRow({str("b"), str("second")}), 4) << "after equal rows";

    // An overwritten row moves to its sorted place at once.
    EXPECT_EQ(table.setCell(1, 0, str("a0")), 4);
    EXPECT_EQ(column(table, 0), list({"bb", "b", "b", "a0", "A"}));
    EXPECT_EQ(table.setCell(4, 1, str("(1) Block")), 4) << "other columns do not move a row";
}

TEST(RuleTable, ResetRowsMatchesAppendingOneByOne)
{
    RuleTable bulk(2);
    RuleTable single(2);
    bulk.toggleSort(0);
    single.toggleSort(0);
    QList<QStringList> rows;
    for (int i = 0; i < 50; ++i)
        rows.append({QString::number((i * 7) % 13), QString::number(i)});
    bulk.resetRows(rows);
    for (const QStringList& row : rows)
        single.appendRow(row);
    EXPECT_EQ(column(bulk, 1), column(single, 1));
}

TEST(RuleTable, SortingKeepsPersistentSelections)
{
    RuleTable table(2);
    table.appendRow({str("b")});
    table.appendRow({str("a")});
    const QPersistentModelIndex selected(table.index(1, 0));
    table.toggleSort(0); // descending: b, a
    table.toggleSort(0); // ascending: a, b
    EXPECT_EQ(selected.row(), 0);
    EXPECT_EQ(selected.data().toString(), str("a"));
}

TEST(RuleSet, SingleValuesAndTheChangedFlag)
{
    RuleSet rules;
    QSignalSpy changed(&rules, &RuleSet::changedChanged);
    EXPECT_FALSE(rules.changed());
    EXPECT_EQ(rules.idleTime(), 30);

    rules.setIdleTime(10);
    EXPECT_EQ(rules.idleTime(), 30);
    rules.setIdleTime(601);
    EXPECT_EQ(rules.idleTime(), 600);
    rules.setIdleTime(95);
    EXPECT_EQ(rules.idleTime(), 95);
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
