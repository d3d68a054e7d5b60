#include "Form.h"

#include "PictureBox.h"
#include "Twips.h"
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

Form::HeaderBand Form::addHeaderBand(
    QWidget& window, int width, const QSize& pictureSize, const QString& info, int infoWidth)
{
    HeaderBand header;
    header.band = addControl<PictureBox>(QStringLiteral("pciTitle"), &window);
    header.band->fillWith(QPalette::Base);
    placeTwips(*header.band, 0, 0, width, 855);
    header.picture = addControl<PictureBox>(QStringLiteral("picInfo"), header.band);
    placeTwips(*header.picture, 120, 120, pictureSize.width(), pictureSize.height());
    header.info = addControl<QLabel>(QStringLiteral("lblInfo"), info, header.band);
    placeTwips(*header.info, 960, 240, infoWidth, 495);
    QFont bold = header.info->font();
    bold.setPointSizeF(9.75);
    bold.setBold(true);
    header.info->setFont(bold);
    header.info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return header;
}

} // namespace Tollgate
