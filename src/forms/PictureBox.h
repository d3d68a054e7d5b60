#pragma once

#include <QPixmap>
#include <QWidget>

namespace Tollgate {

// A plain area that shows a picture and may hold other controls. It has no caption, so a
// language file's entry for it changes nothing.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QPixmap& pixmap() const { return m_pixmap; }
    void setPixmap(const QPixmap& pixmap);
    // Fills the area with a colour of the palette, as a header band does.
    void fillWith(QPalette::ColorRole role);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_pixmap;
};

} // namespace Tollgate
