#include "RuleTable.h"

#include <algorithm>
#include <numeric>

namespace Tollgate {

RuleTable::RuleTable(int columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_columns(std::clamp(columns, 1, MaxColumns))
{
    // Whatever a view is told of counts as a change, however it was made.
    const auto changed = [this] { ++m_revision; };
    connect(this, &QAbstractItemModel::dataChanged, this, changed);
    connect(this, &QAbstractItemModel::rowsInserted, this, changed);
    connect(this, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(this, &QAbstractItemModel::rowsMoved, this, changed);
    connect(this, &QAbstractItemModel::modelReset, this, changed);
    connect(this, &QAbstractItemModel::layoutChanged, this, changed);
}

const QString& RuleTable::cell(int position, int column) const
{
    static const QString empty;
    if (position < 1 || position > count() || column < 0 || column >= m_columns)
        return empty;
    return m_rows.at(position - 1)[column];
}

bool RuleTable::before(const Row& a, const Row& b) const
{
    const int order = QString::compare(a[m_sortColumn], b[m_sortColumn], Qt::CaseInsensitive);
    return m_sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
}

int RuleTable::sortedIndex(const Row& row) const
{
    // After rows that compare equal, so that equal rows keep their arrival order.
    const auto it = std::upper_bound(
        m_rows.begin(), m_rows.end(), row, [this](const Row& a, const Row& b) { return before(a, b); });
    return static_cast<int>(it - m_rows.begin());
}

int RuleTable::appendRow(const QStringList& cells)
{
    Row row;
    for (int c = 0; c < m_columns && c < cells.size(); ++c)
        row[c] = cells.at(c);
    const int at = keepsSorted() ? sortedIndex(row) : count();
    beginInsertRows({}, at, at);
    m_rows.insert(at, std::move(row));
    endInsertRows();
    return at + 1;
}

int RuleTable::setCell(int position, int column, const QString& text)
{
    if (position < 1 || position > count() || column < 0 || column >= m_columns)
        return 0;
    int from = position - 1;
    m_rows[from][column] = text;
    emit dataChanged(index(from, column), index(from, column));
    if (!keepsSorted() || column != m_sortColumn)
        return position;

    Row row = m_rows.takeAt(from);
    const int to = sortedIndex(row);
    m_rows.insert(from, std::move(row));
    if (to == from)
        return position;
    // Qt counts the destination before the move.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    m_rows.move(from, to);
    endMoveRows();
    return to + 1;
}

void RuleTable::removeRule(int position)
{
    if (position < 1 || position > count())
        return;
    beginRemoveRows({}, position - 1, position - 1);
    m_rows.removeAt(position - 1);
    endRemoveRows();
}

void RuleTable::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void RuleTable::resetRows(const QList<QStringList>& rows)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(rows.size());
    for (const QStringList& cells : rows) {
        Row row;
        for (int c = 0; c < m_columns && c < cells.size(); ++c)
            row[c] = cells.at(c);
        m_rows.append(std::move(row));
    }
    if (keepsSorted())
        std::stable_sort(
            m_rows.begin(), m_rows.end(), [this](const Row& a, const Row& b) { return before(a, b); });
    endResetModel();
}

void RuleTable::toggleSort(int column)
{
    sort(column, m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void RuleTable::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= m_columns)
        return;
    m_sortColumn = column;
    m_sortOrder = order;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> rowOrder(count());
    std::iota(rowOrder.begin(), rowOrder.end(), 0);
    std::stable_sort(rowOrder.begin(), rowOrder.end(),
        [this](int a, int b) { return before(m_rows.at(a), m_rows.at(b)); });
    QList<Row> sorted;
    sorted.reserve(count());
    QList<int> newIndexOf(count());
    for (int i = 0; i < rowOrder.size(); ++i) {
        sorted.append(m_rows.at(rowOrder.at(i)));
        newIndexOf[rowOrder.at(i)] = i;
    }
    m_rows = std::move(sorted);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& old : persistent)
        moved.append(index(newIndexOf.at(old.row()), old.column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void RuleTable::setHeaderLabels(const QStringList& labels)
{
    m_headers = labels;
    emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
}

int RuleTable::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int RuleTable::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant RuleTable::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return cell(index.row() + 1, index.column());
}

QVariant RuleTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section < m_headers.size() ? QVariant(m_headers.at(section)) : QVariant();
}

} // namespace Tollgate
