#pragma once

#include "ConfigurationContext.h"
#include "forms/Form.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace Tollgate {

class PictureBox;

// What the two rule editors share: the header band, OK and Cancel, the row they write,
// and the list of what runs now that a button folds out below the design area.
class RuleEditor : public QDialog, public Form
{
    Q_OBJECT

public:
    QWidget& formWidget() override { return *this; }

    // The 1-based position of the rule being edited; 0 for a new rule.
    int rowId() const { return m_rowId; }
    void setRowID(int value) { m_rowId = value; }

    // Writes the rule and closes the editor; with an empty name it does nothing at all.
    virtual void OK() = 0;

    // Whether the list of what runs now is folded out.
    bool pickerShown() const;
    void setPickerShown(bool shown);

protected:
    RuleEditor(ConfigurationContext& context, const QString& name, const QString& title, QWidget* parent);

    // Client size in twips, folded in and folded out.
    void setDesignSize(int width, int height, int heightWithPicker);
    void addHeader(const QString& info, const QPixmap& picture);
    void addButtons(int top);
    // The action label and below it the drop-down of actions, which takes any typed text.
    QComboBox* addActionList(QWidget& frame, const QString& caption, int top);
    void addPicker(const QString& buttonName, const QString& buttonCaption, const QString& labelName,
        const QString& labelCaption, const QString& listName, int buttonTop, int areaTop);

    // Fills the fold-out list with what runs now.
    virtual void fillPicker(QListWidget& list) = 0;
    // A fold-out entry was chosen.
    virtual void usePicked(const QString& text) = 0;

    QListWidget* pickerList() const { return m_pickerList; }

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

    ConfigurationContext& m_context;

private:
    void applySize();

    int m_rowId = 0;
    QSize m_designSize;
    int m_heightWithPicker = 0;
    QPushButton* m_pickerButton = nullptr;
    QListWidget* m_pickerList = nullptr;
    bool m_centred = false;
};

} // namespace Tollgate
