#include "WindowRuleEditor.h"

#include "RulePictures.h"
#include "forms/Twips.h"
#include "lang/MessageCatalogue.h"
#include "platform/Platform.h"
#include "store/RuleSet.h"
#include "survey/TitlePattern.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace Tollgate {

WindowRuleEditor::WindowRuleEditor(ConfigurationContext& context, QWidget* parent)
    : RuleEditor(context, QStringLiteral("frmWindow"), QStringLiteral("Add or Edit Window"), parent)
{
    setDesignSize(6600, 3840, 6015);
    addHeader(QStringLiteral("Add or Edit Window to survey"), RulePictures::windowRule());

    auto* frame
        = addControl<QGroupBox>(QStringLiteral("frameWidow"), QStringLiteral("Add or Edit Window"), this);
    placeTwips(*frame, 120, 960, 6375, 2295);
    m_action = addActionList(*frame, QStringLiteral("Action to be performed on Window"), 480);
    auto* captionLabel = addControl<QLabel>(
        QStringLiteral("lblCaption"), QStringLiteral("Window Title (Use Asterisk * as Wildcard)"), frame);
    placeTwips(*captionLabel, 240, 1320, 5775, 255);
    m_caption = addControl<QLineEdit>(QStringLiteral("txtCaption"), frame);
    placeTwips(*m_caption, 240, 1560, 5775, 285);

    addButtons(3360);
    addPicker(QStringLiteral("cmdOpenWindows"), QStringLiteral("Open &Windows"),
        QStringLiteral("lblOpenWindows"),
        QStringLiteral("Ticked windows match the title; double-click one to use it:"),
        QStringLiteral("lstOpenWindows"), 3360, 3840);
    connect(m_caption, &QLineEdit::textChanged, this, &WindowRuleEditor::markMatches);
}

void WindowRuleEditor::prepare(int row)
{
    m_action->clear();
    for (const char* key : {"ACTION_WINDOW_IGNORE", "ACTION_WINDOW_BLOCK", "ACTION_WINDOW_TO_FRONT"})
        m_action->addItem(m_context.catalogue.MessageText(QLatin1StringView(key)));
    // A new rule starts without an action.
    m_action->setCurrentIndex(-1);
    m_action->setEditText(QString());
    const RuleTable& table = m_context.rules.windowRules();
    if (row >= 1 && row <= table.count()) {
        m_caption->setText(table.cell(row, RuleSet::WindowPattern));
        m_action->setEditText(table.cell(row, RuleSet::WindowAction));
    }
    setRowID(row);
}

void WindowRuleEditor::OK()
{
    const QString pattern = m_caption->text();
    if (pattern.isEmpty())
        return;
    RuleTable& table = m_context.rules.windowRules();
    const int position
        = rowId() != 0 ? table.setCell(rowId(), RuleSet::WindowPattern, pattern) : table.appendRow({pattern});
    table.setCell(position, RuleSet::WindowAction, m_action->currentText());
    m_context.rules.setChanged(true);
    accept();
}

void WindowRuleEditor::fillPicker(QListWidget& list)
{
    Platform::WindowSystem& windows = m_context.platform.windows();
    const auto ownProcess = static_cast<Platform::ProcessId>(QCoreApplication::applicationPid());
    QStringList titles;
    for (const Platform::TopLevelWindow& window : windows.topLevelWindows()) {
        if (windows.windowProcessId(window.window) == ownProcess)
            continue;
        const QString title = windows.windowTitle(window.window);
        if (!title.isEmpty() && !titles.contains(title))
            titles.append(title);
    }
    for (const QString& title : titles) {
        auto* item = new QListWidgetItem(title, &list);
        item->setData(Qt::UserRole, title);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    markMatches();
}

void WindowRuleEditor::markMatches()
{
    QListWidget* list = pickerList();
    if (!list || list->count() == 0)
        return;
    const QString text = m_caption->text();
    const TitlePattern pattern(text);
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        const bool match = !text.isEmpty() && pattern.matches(item->data(Qt::UserRole).toString());
        item->setData(Qt::CheckStateRole, match ? Qt::Checked : Qt::Unchecked);
    }
}

void WindowRuleEditor::usePicked(const QString& text)
{
    m_caption->setText(text);
}

} // namespace Tollgate
