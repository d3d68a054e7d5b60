#pragma once

#include "store/DocumentPrompts.h"

class QWidget;

namespace Tollgate {

class UserDialogs;

// The document commands' questions and file choices as message boxes and file dialogs
// over a window.
class QtDocumentPrompts : public DocumentPrompts
{
public:
    QtDocumentPrompts(UserDialogs& dialogs, QWidget& window);

    Answer askYesNoCancel(const QString& text) override;
    void showError(const QString& text) override;
    QString chooseFileToOpen(const QString& filter) override;
    QString chooseFileToSave(const QString& filter) override;
    void setBusy(bool busy) override;

private:
    UserDialogs& m_dialogs;
    QWidget& m_window;
};

} // namespace Tollgate
