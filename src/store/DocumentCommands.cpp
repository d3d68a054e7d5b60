#include "DocumentCommands.h"

#include "DocumentPrompts.h"
#include "RuleSet.h"
#include "RuleSetDocument.h"
#include "lang/MessageCatalogue.h"
#include "profile/TextFile.h"

#include <QDir>
#include <QFileInfo>

namespace Tollgate {

namespace {

    class BusyPointer
    {
    public:
        explicit BusyPointer(DocumentPrompts& prompts)
            : m_prompts(prompts)
        {
            m_prompts.setBusy(true);
        }
        ~BusyPointer() { m_prompts.setBusy(false); }
        BusyPointer(const BusyPointer&) = delete;
        BusyPointer& operator=(const BusyPointer&) = delete;

    private:
        DocumentPrompts& m_prompts;
    };

    // A failure message: %1 the document's path, %2 the reason.
    QString failure(
        const MessageCatalogue& catalogue, const QString& key, const QString& path, const QString& reason)
    {
        return catalogue.MessageText(key)
            .replace(QStringLiteral("%1"), QDir::toNativeSeparators(path))
            .replace(QStringLiteral("%2"), reason);
    }

} // namespace

const QString DocumentCommands::DocumentFilter = QStringLiteral("Tollgate (*.Tollgate)");

DocumentCommands::DocumentCommands(RuleSet& rules, RuleSetDocument& document,
    const MessageCatalogue& catalogue, DocumentPrompts& prompts, QObject* parent)
    : QObject(parent)
    , m_rules(rules)
    , m_document(document)
    , m_catalogue(catalogue)
    , m_prompts(prompts)
{ }

bool DocumentCommands::mayDiscardChanges()
{
    if (!m_rules.changed())
        return true;
    switch (m_prompts.askYesNoCancel(m_catalogue.MessageText(QStringLiteral("MSG_SETTINGS_CHANGED")))) {
    case DocumentPrompts::Answer::Yes:
        return SaveFile(false);
    case DocumentPrompts::Answer::No:
        return true;
    case DocumentPrompts::Answer::Cancel:
        break;
    }
    return false;
}

void DocumentCommands::NewFile()
{
    if (mayDiscardChanges())
        m_document.LoadRuleSet(QString());
}

void DocumentCommands::OpenFile()
{
    if (!mayDiscardChanges())
        return;
    const QString path = m_prompts.chooseFileToOpen(DocumentFilter);
    if (path.isEmpty())
        return;
    TextFile::BytesResult read;
    {
        const BusyPointer busy(m_prompts);
        read = TextFile::readBytes(path);
        if (read.ok)
            m_document.loadBytes(path, read.bytes);
    }
    if (!read.ok && QFileInfo::exists(path)) {
        // The rule set and document shown stay, so that nothing is saved over the unread file.
        m_prompts.showError(failure(m_catalogue, QStringLiteral("MSG_OPEN_FAILED"), path, read.error));
        return;
    }
    if (!read.ok)
        m_document.LoadRuleSet(path);
    m_rules.setChanged(false);
}

bool DocumentCommands::SaveFile(bool saveAs)
{
    QString target = m_document.GetDocumentPath();
    if (saveAs || target.isEmpty()) {
        target = m_prompts.chooseFileToSave(DocumentFilter);
        if (target.isEmpty())
            return false;
    }
    QString error;
    {
        const BusyPointer busy(m_prompts);
        error = m_document.SaveRuleSet(target);
    }
    if (!error.isEmpty()) {
        // A failed save must not pass for a saved one: the changes stay marked.
        m_prompts.showError(failure(m_catalogue, QStringLiteral("MSG_SAVE_FAILED"), target, error));
        return false;
    }
    m_rules.setChanged(false);
    return true;
}

void DocumentCommands::EndProgram()
{
    if (mayDiscardChanges())
        emit endProgramRequested();
}

} // namespace Tollgate
