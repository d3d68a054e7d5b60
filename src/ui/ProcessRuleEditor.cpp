#include "ProcessRuleEditor.h"

#include "RulePictures.h"
#include "UserDialogs.h"
#include "forms/Twips.h"
#include "lang/ActionCodes.h"
#include "lang/MessageCatalogue.h"
#include "platform/Platform.h"
#include "store/RuleSet.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace Tollgate {

ProcessRuleEditor::ProcessRuleEditor(ConfigurationContext& context, QWidget* parent)
    : RuleEditor(context, QStringLiteral("frmProcess"), QStringLiteral("Add or Edit Process"), parent)
{
    setDesignSize(6615, 4545, 6735);
    addHeader(QStringLiteral("Add or Edit Process to be controlled"), RulePictures::processRule());

    auto* frame
        = addControl<QGroupBox>(QStringLiteral("frameWidow"), QStringLiteral("Add or Edit Process"), this);
    placeTwips(*frame, 120, 960, 6375, 3015);
    m_action = addActionList(*frame, QStringLiteral("Action to be performed on Process"), 360);
    m_processLabel = addControl<QLabel>(
        QStringLiteral("lblProcessName"), QStringLiteral("Process Name (No Wildcard allowed)"), frame);
    placeTwips(*m_processLabel, 240, 1200, 5775, 255);
    m_process = addControl<QLineEdit>(QStringLiteral("txtProcess"), frame);
    placeTwips(*m_process, 240, 1440, 5775, 285);
    m_exeLabel
        = addControl<QLabel>(QStringLiteral("lblExeName"), QStringLiteral("Process Executable File"), frame);
    placeTwips(*m_exeLabel, 240, 2040, 5775, 255);
    m_exe = addControl<QLineEdit>(QStringLiteral("txtExeName"), frame);
    placeTwips(*m_exe, 240, 2280, 5295, 285);
    m_browse = addControl<QPushButton>(QStringLiteral("cmdBrowse"), QStringLiteral("..."), frame);
    placeTwips(*m_browse, 5640, 2280, 375, 285);
    m_browse->setAutoDefault(false);
    connect(m_browse, &QPushButton::clicked, this, &ProcessRuleEditor::browse);

    addButtons(4080);
    addPicker(QStringLiteral("cmdRunningProcesses"), QStringLiteral("Running &Programs"),
        QStringLiteral("lblRunningProcesses"),
        QStringLiteral("Programs running now. Double-click one to use its name:"),
        QStringLiteral("lstRunningProcesses"), 4080, 4560);

    // Only a choice from the list switches the fields; typing does not.
    connect(m_action, &QComboBox::activated, this,
        [this] { enableControls(ProcessActionCode(m_action->currentText())); });
}

void ProcessRuleEditor::prepare(int row)
{
    m_action->clear();
    for (const char* key : {"ACTION_PROCESS_IGNORE", "ACTION_PROCESS_CLOSE", "ACTION_PROCESS_ALWAYS_RUN",
             "ACTION_PROCESS_BLOCK"})
        m_action->addItem(m_context.catalogue.MessageText(QLatin1StringView(key)));
    m_action->setCurrentIndex(-1);
    m_action->setEditText(QString());
    const RuleTable& table = m_context.rules.processRules();
    if (row >= 1 && row <= table.count()) {
        m_process->setText(table.cell(row, RuleSet::ProcessName));
        m_action->setEditText(table.cell(row, RuleSet::ProcessAction));
        m_exe->setText(table.cell(row, RuleSet::ProcessExe));
    }
    enableControls(ProcessActionCode(m_action->currentText()));
    setRowID(row);
}

void ProcessRuleEditor::enableControls(int code)
{
    const bool name = code >= 1 && code <= 3;
    const bool exe = code == static_cast<int>(ProcessAction::AlwaysRun);
    m_processLabel->setEnabled(name);
    m_process->setEnabled(name);
    m_exeLabel->setEnabled(exe);
    m_exe->setEnabled(exe);
    m_browse->setEnabled(exe);
}

void ProcessRuleEditor::OK()
{
    const QString name = m_process->text();
    if (name.isEmpty())
        return;
    RuleTable& table = m_context.rules.processRules();
    int position
        = rowId() != 0 ? table.setCell(rowId(), RuleSet::ProcessName, name) : table.appendRow({name});
    position = table.setCell(position, RuleSet::ProcessAction, m_action->currentText());
    table.setCell(position, RuleSet::ProcessExe, m_exe->text());
    m_context.rules.setChanged(true);
    accept();
}

void ProcessRuleEditor::browse()
{
    UserDialogs::FileRequest request;
    request.mode = UserDialogs::FileRequest::Mode::Open;
    request.filter = QStringLiteral("All files (*)");
    request.startPath = m_lastBrowsed;
    const QString path = m_context.dialogs.chooseFile(this, request);
    if (path.isEmpty())
        return;
    m_lastBrowsed = path;
    m_exe->setText(path);
}

void ProcessRuleEditor::fillPicker(QListWidget& list)
{
    QStringList names;
    for (const Platform::ProcessEntry& process : m_context.platform.processes().snapshot()) {
        if (!process.name.isEmpty())
            names.append(process.name);
    }
    names.removeDuplicates();
    names.sort(Qt::CaseInsensitive);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, &list);
        item->setData(Qt::UserRole, name);
    }
}

void ProcessRuleEditor::usePicked(const QString& text)
{
    m_process->setText(text);
}

} // namespace Tollgate
