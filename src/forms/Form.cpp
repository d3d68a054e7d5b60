#include "Form.h"

#include "lang/WindowTranslation.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace Tollgate {

bool setControlCaption(QObject& control, const QString& caption)
{
    if (auto* button = qobject_cast<QAbstractButton*>(&control)) {
        button->setText(caption);
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(&control)) {
        label->setText(caption);
        return true;
    }
    if (auto* frame = qobject_cast<QGroupBox*>(&control)) {
        frame->setTitle(caption);
        return true;
    }
    if (auto* menu = qobject_cast<QMenu*>(&control)) {
        menu->setTitle(caption);
        return true;
    }
    if (auto* item = qobject_cast<QAction*>(&control)) {
        item->setText(caption);
        return true;
    }
    return false;
}

void applyTranslation(Form& form, const WindowTranslation& translation)
{
    for (QObject* control : form.controls()) {
        const QString caption = translation.caption(control->objectName());
        if (!caption.isEmpty())
            setControlCaption(*control, caption);
    }
    const QString title = translation.caption(WindowTranslation::FormCaptionEntry);
    if (!title.isEmpty())
        form.formWidget().setWindowTitle(title);
    form.translateParts(translation);
}

void TranslateForm(Form& form, const MessageCatalogue& catalogue)
{
    applyTranslation(form, WindowTranslation(catalogue, form.formWidget().objectName()));
}

} // namespace Tollgate
