#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <utility>

class QLabel;
class QSize;
class QWidget;

namespace Tollgate {

class MessageCatalogue;
class PictureBox;
class WindowTranslation;

// A window whose captions a language file can replace. It knows its controls in the order
// it created them, each under the object name that language files address it by.
class Form
{
public:
    virtual ~Form() = default;

    virtual QWidget& formWidget() = 0;
    const QList<QObject*>& controls() const { return m_controls; }

    // Called after the controls and the title: captions of parts of controls, such as
    // tabs and column headers.
    virtual void translateParts(const WindowTranslation&) { }

protected:
    // Creates a control owned by the Qt parent among args and remembers it.
    template<typename Control, typename... Args> Control* addControl(const QString& name, Args&&... args)
    {
        auto* control = new Control(std::forward<Args>(args)...);
        control->setObjectName(name);
        m_controls.append(control);
        return control;
    }

    // The white band across the top of a window: a picture and a bold line of information,
    // sizes in twips.
    struct HeaderBand
    {
        PictureBox* band = nullptr;
        PictureBox* picture = nullptr;
        QLabel* info = nullptr;
    };
    HeaderBand addHeaderBand(
        QWidget& window, int width, const QSize& pictureSize, const QString& info, int infoWidth);

private:
    QList<QObject*> m_controls;
};

// Applies the current language file's section for the window: every control's entry in
// creation order, then FORM_CAPTION, then the window's own parts. Only texts the file
// gives are set; nothing is put back to its design text.
void TranslateForm(Form& form, const MessageCatalogue& catalogue);
// The same with a translation already read.
void applyTranslation(Form& form, const WindowTranslation& translation);

// Sets the caption of a control that has one (labels, buttons, frames, menus and menu
// items); returns false and leaves any other control alone.
bool setControlCaption(QObject& control, const QString& caption);

} // namespace Tollgate
