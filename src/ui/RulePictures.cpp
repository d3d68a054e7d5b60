#include "RulePictures.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace Tollgate::RulePictures {

namespace {

    constexpr int Side = 32;

    QPixmap blank()
    {
        QPixmap pixmap(Side, Side);
        pixmap.fill(Qt::transparent);
        return pixmap;
    }

} // namespace

QPixmap windowRule()
{
    QPixmap pixmap = blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(2.5, 4.5, 27, 23);
    painter.setPen(QPen(QColor(40, 60, 110), 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(frame, 2, 2);
    painter.setBrush(QColor(50, 100, 190));
    painter.drawRoundedRect(QRectF(2.5, 4.5, 27, 6), 2, 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 40, 40));
    painter.drawEllipse(QRectF(24, 6, 4, 4));
    painter.setBrush(QColor(180, 190, 210));
    for (int line = 0; line < 3; ++line)
        painter.drawRect(QRectF(6, 14 + line * 4, 20 - line * 5, 2));
    return pixmap;
}

QPixmap processRule()
{
    QPixmap pixmap = blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // A gear: the running program.
    const QPointF centre(16, 16);
    QPainterPath gear;
    constexpr int Teeth = 8;
    for (int i = 0; i < Teeth * 2; ++i) {
        const qreal angle = i * 3.14159265358979 / Teeth;
        const qreal radius = (i % 2 == 0) ? 14.0 : 10.5;
        const QPointF point(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        if (i == 0)
            gear.moveTo(point);
        else
            gear.lineTo(point);
    }
    gear.closeSubpath();
    gear.addEllipse(centre, 4.5, 4.5);
    gear.setFillRule(Qt::OddEvenFill);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(QColor(120, 140, 160));
    painter.drawPath(gear);
    return pixmap;
}

} // namespace Tollgate::RulePictures
