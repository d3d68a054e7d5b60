#include "NotifyPictures.h"

#include <QPainter>
#include <QPainterPath>

namespace Tollgate::NotifyPictures {

namespace {

    QPixmap blank(int side)
    {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        return pixmap;
    }

} // namespace

QPixmap blocked(int side)
{
    QPixmap pixmap = blank(side);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 48.0, side / 48.0);
    painter.setPen(QPen(QColor(120, 0, 0), 1.5));
    painter.setBrush(QColor(215, 0, 0));
    painter.drawEllipse(QRectF(2, 2, 44, 44));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(9, 20, 30, 8), 2, 2);
    return pixmap;
}

QPixmap idle(int side)
{
    QPixmap pixmap = blank(side);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 48.0, side / 48.0);
    const QColor wood(140, 90, 40);
    painter.setPen(Qt::NoPen);
    painter.setBrush(wood);
    painter.drawRoundedRect(QRectF(8, 2, 32, 5), 2, 2);
    painter.drawRoundedRect(QRectF(8, 41, 32, 5), 2, 2);
    QPainterPath glass;
    glass.moveTo(12, 7);
    glass.lineTo(36, 7);
    glass.cubicTo(36, 18, 26, 20, 26, 24);
    glass.cubicTo(26, 28, 36, 30, 36, 41);
    glass.lineTo(12, 41);
    glass.cubicTo(12, 30, 22, 28, 22, 24);
    glass.cubicTo(22, 20, 12, 18, 12, 7);
    painter.setBrush(QColor(225, 240, 255));
    painter.setPen(QPen(QColor(60, 90, 140), 1.2));
    painter.drawPath(glass);
    // Sand: a little left on top, most of it run down.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(230, 180, 60));
    QPainterPath top;
    top.moveTo(18, 16);
    top.lineTo(30, 16);
    top.lineTo(24, 22);
    top.closeSubpath();
    painter.drawPath(top);
    painter.drawRect(QRectF(23.4, 22, 1.2, 12));
    QPainterPath heap;
    heap.moveTo(14, 40);
    heap.cubicTo(16, 33, 32, 33, 34, 40);
    heap.closeSubpath();
    painter.drawPath(heap);
    return pixmap;
}

QPixmap padlock(int side)
{
    QPixmap pixmap = blank(side);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 48.0, side / 48.0);
    painter.setPen(QPen(QColor(110, 110, 120), 5, Qt::SolidLine, Qt::FlatCap));
    painter.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(14, 24);
    shackle.lineTo(14, 15);
    shackle.arcTo(QRectF(14, 4, 20, 22), 180, -180);
    shackle.lineTo(34, 24);
    painter.drawPath(shackle);
    painter.setPen(QPen(QColor(120, 80, 0), 1.2));
    QLinearGradient gold(0, 22, 0, 46);
    gold.setColorAt(0, QColor(250, 205, 70));
    gold.setColorAt(1, QColor(205, 145, 20));
    painter.setBrush(gold);
    painter.drawRoundedRect(QRectF(8, 22, 32, 24), 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(70, 45, 0));
    painter.drawEllipse(QRectF(21, 28, 6, 6));
    painter.drawRect(QRectF(22.8, 32, 2.4, 8));
    return pixmap;
}

} // namespace Tollgate::NotifyPictures
