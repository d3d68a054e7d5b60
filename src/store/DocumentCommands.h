#pragma once

#include <QObject>
#include <QString>

namespace Tollgate {

class DocumentPrompts;
class MessageCatalogue;
class RuleSet;
class RuleSetDocument;

// The File menu's commands on the one document of the run: New, Open, Save, Save As and
// Quit, with the save question that protects unsaved changes.
class DocumentCommands : public QObject
{
    Q_OBJECT

public:
    // The filter of the Open and Save dialogs.
    static const QString DocumentFilter;

    DocumentCommands(RuleSet& rules, RuleSetDocument& document, const MessageCatalogue& catalogue,
        DocumentPrompts& prompts, QObject* parent = nullptr);

    void NewFile();
    void OpenFile();
    // Returns whether the rule set was written; asks for a name when saveAs is set or the
    // rule set has no file yet.
    bool SaveFile(bool saveAs);
    // Asks to save unsaved changes, then asks the program to end unless the user cancels.
    void EndProgram();

    // The save question, asked only while there are unsaved changes: true when the command
    // that would drop them may go on (No, or Yes and the save succeeded).
    bool mayDiscardChanges();

signals:
    void endProgramRequested();

private:
    RuleSet& m_rules;
    RuleSetDocument& m_document;
    const MessageCatalogue& m_catalogue;
    DocumentPrompts& m_prompts;
};

} // namespace Tollgate
