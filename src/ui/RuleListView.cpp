#include "RuleListView.h"

#include "store/RuleTable.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace Tollgate {

RuleListView::RuleListView(QWidget* parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Sorting is ours: the view must not ask the model to sort on its own.
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, &RuleListView::sortBy);
}

void RuleListView::setRuleTable(RuleTable& table)
{
    m_table = &table;
    setModel(&table);
    if (table.keepsSorted()) {
        header()->setSortIndicatorShown(true);
        header()->setSortIndicator(table.sortColumn(), table.sortOrder());
    }
}

int RuleListView::selectedPosition() const
{
    if (!selectionModel())
        return 0;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void RuleListView::selectPosition(int position)
{
    if (!model() || !selectionModel())
        return;
    if (position < 1 || position > model()->rowCount()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = model()->index(position - 1, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void RuleListView::shareColumnWidths()
{
    if (!model())
        return;
    const int columns = model()->columnCount();
    if (columns < 1)
        return;
    const int width = this->width() - 2 * frameWidth();
    for (int column = 0; column < columns; ++column)
        setColumnWidth(column, width / columns);
}

void RuleListView::sortBy(int column)
{
    if (!m_table)
        return;
    m_table->toggleSort(column);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(m_table->sortColumn(), m_table->sortOrder());
}

void RuleListView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit editRequested();
        event->accept();
        return;
    case Qt::Key_Delete:
        emit deleteRequested();
        event->accept();
        return;
    default:
        QTreeView::keyPressEvent(event);
    }
}

void RuleListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click on a rule edits that rule; elsewhere it edits the selected one.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        selectPosition(index.row() + 1);
    event->accept();
    emit editRequested();
}

} // namespace Tollgate
