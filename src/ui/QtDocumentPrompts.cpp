#include "QtDocumentPrompts.h"

#include "UserDialogs.h"

#include <QCursor>
#include <QGuiApplication>

namespace Tollgate {

QtDocumentPrompts::QtDocumentPrompts(UserDialogs& dialogs, QWidget& window)
    : m_dialogs(dialogs)
    , m_window(window)
{ }

DocumentPrompts::Answer QtDocumentPrompts::askYesNoCancel(const QString& text)
{
    switch (
        m_dialogs.ask(&m_window, text, UserDialogs::Buttons::YesNoCancel, UserDialogs::Icon::Exclamation)) {
    case UserDialogs::Answer::Yes:
        return Answer::Yes;
    case UserDialogs::Answer::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void QtDocumentPrompts::showError(const QString& text)
{
    m_dialogs.ask(&m_window, text, UserDialogs::Buttons::Ok, UserDialogs::Icon::Critical);
}

QString QtDocumentPrompts::chooseFileToOpen(const QString& filter)
{
    UserDialogs::FileRequest request;
    request.mode = UserDialogs::FileRequest::Mode::Open;
    request.filter = filter;
    return m_dialogs.chooseFile(&m_window, request);
}

QString QtDocumentPrompts::chooseFileToSave(const QString& filter)
{
    UserDialogs::FileRequest request;
    request.mode = UserDialogs::FileRequest::Mode::Save;
    request.filter = filter;
    request.confirmOverwrite = true;
    return m_dialogs.chooseFile(&m_window, request);
}

void QtDocumentPrompts::setBusy(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

} // namespace Tollgate
