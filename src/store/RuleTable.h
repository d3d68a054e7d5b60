#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

namespace Tollgate {

// One rule table: an ordered list of rows of text cells. Rules are addressed by their
// 1-based position at the moment of use; 0 means no rule. The order is the rule order
// for every reader, so sorting the table reorders the rules themselves.
class RuleTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int MaxColumns = 3;

    RuleTable(int columns, QObject* parent = nullptr);

    int count() const { return static_cast<int>(m_rows.size()); }
    // Changes with every change of the rows, their cells or their order, so that a reader
    // can tell cheaply whether what it derived from them still holds.
    quint64 revision() const { return m_revision; }
    // The cell's text, without copying; the empty text for a position or column out of range.
    const QString& cell(int position, int column) const;
    // Overwrites a cell; while the table keeps itself sorted, the row moves to its sorted
    // place at once. Returns the row's position afterwards (0 for no such row).
    int setCell(int position, int column, const QString& text);
    // Appends a row (cells beyond those given are empty) at the end, or at its sorted place
    // while the table keeps itself sorted. Returns its position.
    int appendRow(const QStringList& cells);
    void removeRule(int position);
    void clear();
    // Replaces all rows at once, each taking its sorted place while the table keeps itself
    // sorted: the same order as appending them one by one, without moving rows each time.
    void resetRows(const QList<QStringList>& rows);

    // Sort state: unsorted at first; after the first sort the table keeps itself sorted.
    bool keepsSorted() const { return m_sortColumn >= 0; }
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // A header click: sort by the column, flipping the order; a table never sorted counts
    // as ascending, so the first click sorts descending.
    void toggleSort(int column);

    void setHeaderLabels(const QStringList& labels);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    using Row = std::array<QString, MaxColumns>;

    bool before(const Row& a, const Row& b) const;
    // The 0-based index at which a row takes its sorted place among m_rows.
    int sortedIndex(const Row& row) const;

    int m_columns;
    QList<Row> m_rows;
    QStringList m_headers;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    quint64 m_revision = 0;
};

} // namespace Tollgate
