#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace Tollgate {

// Every question, notice and file dialog of the configuration windows goes through here,
// so that tests can answer them without a person at the screen.
class UserDialogs
{
public:
    // The caption of every message box.
    static const QString ProgramTitle;

    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum class Icon { Exclamation, Information, Critical };
    enum class Answer { Ok, Yes, No, Cancel };

    struct FileRequest
    {
        enum class Mode { Open, Save };
        Mode mode = Mode::Open;
        // Qt filter text, such as "Tollgate (*.Tollgate)".
        QString filter;
        // The folder or file the dialog starts at; empty for the dialog's own choice.
        QString startPath;
        // Save only: ask before replacing an existing file.
        bool confirmOverwrite = false;
    };

    virtual ~UserDialogs() = default;

    virtual Answer ask(QWidget* parent, const QString& text, Buttons buttons, Icon icon) = 0;
    // The chosen file's full path; empty when the user cancelled or the dialog failed.
    virtual QString chooseFile(QWidget* parent, const FileRequest& request) = 0;
    // Shows a dialog modally and returns its result code once it is closed.
    virtual int runModal(QDialog& dialog) = 0;
};

} // namespace Tollgate
