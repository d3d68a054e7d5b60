#pragma once

#include "RuleEditor.h"

class QComboBox;
class QLineEdit;

namespace Tollgate {

// frmWindow: adds or edits one window rule, a title pattern and an action, and writes it
// straight into the window rule table on OK.
class WindowRuleEditor : public RuleEditor
{
    Q_OBJECT

public:
    WindowRuleEditor(ConfigurationContext& context, QWidget* parent = nullptr);

    // Fills the action list afresh, takes the fields from rule row (none for 0) and sets
    // the row ID; the caller then shows the editor modally.
    void prepare(int row);

    void OK() override;

    QComboBox& actionBox() const { return *m_action; }
    QLineEdit& captionBox() const { return *m_caption; }

protected:
    void fillPicker(QListWidget& list) override;
    void usePicked(const QString& text) override;

private:
    void markMatches();

    QComboBox* m_action = nullptr;
    QLineEdit* m_caption = nullptr;
};

} // namespace Tollgate
