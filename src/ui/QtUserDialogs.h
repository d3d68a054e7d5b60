#pragma once

#include "UserDialogs.h"

namespace Tollgate {

// Message boxes and file dialogs on the screen.
class QtUserDialogs : public UserDialogs
{
public:
    Answer ask(QWidget* parent, const QString& text, Buttons buttons, Icon icon) override;
    QString chooseFile(QWidget* parent, const FileRequest& request) override;
    int runModal(QDialog& dialog) override;
};

} // namespace Tollgate
