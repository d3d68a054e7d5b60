#pragma once

#include <QTreeView>

namespace Tollgate {

class RuleTable;

// A rule table in report view: one row per rule, one selected row at most, no editing in
// place. A header click sorts the rules themselves; the table then keeps itself sorted.
class RuleListView : public QTreeView
{
    Q_OBJECT

public:
    explicit RuleListView(QWidget* parent = nullptr);

    void setRuleTable(RuleTable& table);
    RuleTable* ruleTable() const { return m_table; }

    // The 1-based position of the selected rule; 0 when none is selected.
    int selectedPosition() const;
    void selectPosition(int position);
    // Gives every column an equal share of the list's width.
    void shareColumnWidths();

signals:
    // Double click, Enter or Return: the owner opens the editor for the selected rule.
    void editRequested();
    // The Delete key, with or without modifiers.
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void sortBy(int column);

    RuleTable* m_table = nullptr;
};

} // namespace Tollgate
