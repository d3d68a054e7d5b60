#pragma once

#include "RuleEditor.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Tollgate {

// frmProcess: adds or edits one process rule, an action, a process name and the program
// that Always Run starts. The fields that the chosen action does not use are disabled.
class ProcessRuleEditor : public RuleEditor
{
    Q_OBJECT

public:
    ProcessRuleEditor(ConfigurationContext& context, QWidget* parent = nullptr);

    // Fills the action list afresh, takes the fields from rule row (none for 0), enables
    // the fields for the action shown and sets the row ID.
    void prepare(int row);

    // Enables the name and the executable fields as the action code needs them. Disabled
    // fields keep their text, and OK writes it all the same.
    void enableControls(int code);

    void OK() override;
    // Lets the user choose the executable file; a cancelled dialog changes nothing.
    void browse();

    QComboBox& actionBox() const { return *m_action; }
    QLineEdit& processBox() const { return *m_process; }
    QLineEdit& exeBox() const { return *m_exe; }

protected:
    void fillPicker(QListWidget& list) override;
    void usePicked(const QString& text) override;

private:
    QComboBox* m_action = nullptr;
    QLabel* m_processLabel = nullptr;
    QLineEdit* m_process = nullptr;
    QLabel* m_exeLabel = nullptr;
    QLineEdit* m_exe = nullptr;
    QPushButton* m_browse = nullptr;
    // Within one opening the file dialog starts from the file chosen last.
    QString m_lastBrowsed;
};

} // namespace Tollgate
