#pragma once

#include <QString>

namespace Tollgate {

// The questions and file choices of the document commands, put to the person at the
// screen: message boxes and file dialogs in the program, a script in tests.
class DocumentPrompts
{
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~DocumentPrompts() = default;

    // A question with the buttons Yes, No and Cancel and the exclamation icon.
    virtual Answer askYesNoCancel(const QString& text) = 0;
    // A notice with an OK button and the error icon.
    virtual void showError(const QString& text) = 0;
    // The chosen file's path exactly as given; empty when the user cancelled. The save
    // dialog asks before an existing file is replaced.
    virtual QString chooseFileToOpen(const QString& filter) = 0;
    virtual QString chooseFileToSave(const QString& filter) = 0;
    // The busy pointer, for as long as a document is read or written.
    virtual void setBusy(bool busy) = 0;
};

} // namespace Tollgate
