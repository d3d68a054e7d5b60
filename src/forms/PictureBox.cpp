#include "PictureBox.h"

#include <QPainter>

namespace Tollgate {

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{ }

void PictureBox::setPixmap(const QPixmap& pixmap)
{
    m_pixmap = pixmap;
    update();
}

void PictureBox::fillWith(QPalette::ColorRole role)
{
    QWidget::setBackgroundRole(role);
    setAutoFillBackground(true);
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (m_pixmap.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_pixmap);
}

} // namespace Tollgate
