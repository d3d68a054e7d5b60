#include "QtUserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace Tollgate {

const QString UserDialogs::ProgramTitle = QStringLiteral("Tollgate");

UserDialogs::Answer QtUserDialogs::ask(QWidget* parent, const QString& text, Buttons buttons, Icon icon)
{
    QMessageBox::Icon boxIcon = QMessageBox::Warning;
    if (icon == Icon::Information)
        boxIcon = QMessageBox::Information;
    else if (icon == Icon::Critical)
        boxIcon = QMessageBox::Critical;

    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == Buttons::YesNo)
        standard = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == Buttons::YesNoCancel)
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;

    QMessageBox box(boxIcon, ProgramTitle, text, standard, parent);
    if (buttons != Buttons::Ok)
        box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        // Closing a Yes/No box by its close box or Escape means No.
        return buttons == Buttons::YesNo ? Answer::No : buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

QString QtUserDialogs::chooseFile(QWidget* parent, const FileRequest& request)
{
    QFileDialog dialog(parent, QString(), request.startPath, request.filter);
    // The document commands accept names of files that do not exist yet, also for Open.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (request.mode == FileRequest::Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

int QtUserDialogs::runModal(QDialog& dialog)
{
    return dialog.exec();
}

} // namespace Tollgate
