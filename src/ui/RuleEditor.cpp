#include "RuleEditor.h"

#include "forms/PictureBox.h"
#include "forms/Twips.h"
#include "forms/WindowPlacement.h"
#include "platform/Platform.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace Tollgate {

RuleEditor::RuleEditor(
    ConfigurationContext& context, const QString& name, const QString& title, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
{
    setObjectName(name);
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
}

void RuleEditor::setDesignSize(int width, int height, int heightWithPicker)
{
    m_designSize = QSize(width, height);
    m_heightWithPicker = heightWithPicker;
    applySize();
}

void RuleEditor::applySize()
{
    const int height = pickerShown() ? m_heightWithPicker : m_designSize.height();
    setFixedSize(Twips::forWidget(*this).size(m_designSize.width(), height));
}

void RuleEditor::addHeader(const QString& info, const QPixmap& picture)
{
    const HeaderBand header = addHeaderBand(*this, 6735, QSize(480, 480), info, 6255);
    header.picture->setPixmap(picture);
}

void RuleEditor::addButtons(int top)
{
    // No default button: Enter in a field must not confirm.
    auto* ok = addControl<QPushButton>(QStringLiteral("cmdOK"), QStringLiteral("&OK"), this);
    placeTwips(*ok, 3480, top, 1455, 375);
    ok->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, [this] { OK(); });
    auto* cancel = addControl<QPushButton>(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"), this);
    placeTwips(*cancel, 5040, top, 1455, 375);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QComboBox* RuleEditor::addActionList(QWidget& frame, const QString& caption, int top)
{
    auto* label = addControl<QLabel>(QStringLiteral("lblAction"), caption, &frame);
    placeTwips(*label, 240, top, 5775, 255);
    auto* list = addControl<QComboBox>(QStringLiteral("cboAction"), &frame);
    placeTwips(*list, 240, top + 240, 5775, 315);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    // Whatever is typed is what the row receives; completion would change it.
    list->setCompleter(nullptr);
    return list;
}

void RuleEditor::addPicker(const QString& buttonName, const QString& buttonCaption, const QString& labelName,
    const QString& labelCaption, const QString& listName, int buttonTop, int areaTop)
{
    m_pickerButton = addControl<QPushButton>(buttonName, buttonCaption, this);
    placeTwips(*m_pickerButton, 120, buttonTop, 1815, 375);
    m_pickerButton->setAutoDefault(false);
    m_pickerButton->setCheckable(true);
    auto* label = addControl<QLabel>(labelName, labelCaption, this);
    placeTwips(*label, 120, areaTop, 6375, 255);
    label->hide();
    m_pickerList = addControl<QListWidget>(listName, this);
    placeTwips(*m_pickerList, 120, areaTop + 240, 6375, 1815);
    m_pickerList->hide();
    connect(m_pickerButton, &QPushButton::toggled, this, [this, label](bool shown) {
        if (shown) {
            m_pickerList->clear();
            fillPicker(*m_pickerList);
        }
        label->setVisible(shown);
        m_pickerList->setVisible(shown);
        applySize();
    });
    connect(m_pickerList, &QListWidget::itemActivated, this,
        [this](QListWidgetItem* item) { usePicked(item->data(Qt::UserRole).toString()); });
}

bool RuleEditor::pickerShown() const
{
    return m_pickerButton && m_pickerButton->isChecked();
}

void RuleEditor::setPickerShown(bool shown)
{
    if (m_pickerButton)
        m_pickerButton->setChecked(shown);
}

bool RuleEditor::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        SetTopMost(*this, m_context.platform.windows());
        TranslateForm(*this, m_context.catalogue);
    }
    return QDialog::event(event);
}

void RuleEditor::showEvent(QShowEvent* event)
{
    // Translated before it is first seen, not only once it becomes active.
    TranslateForm(*this, m_context.catalogue);
    if (!m_centred) {
        m_centred = true;
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

} // namespace Tollgate
