#include "Twips.h"

#include <QScreen>
#include <QWidget>
#include <cmath>

namespace Tollgate {

namespace {

    constexpr qreal TwipsPerInch = 1440.0;

    int scaled(int twips, qreal dpi)
    {
        return static_cast<int>(std::lround(twips * dpi / TwipsPerInch));
    }

} // namespace

Twips::Twips(qreal dotsPerInchX, qreal dotsPerInchY)
    : m_dpiX(dotsPerInchX > 0 ? dotsPerInchX : 96.0)
    , m_dpiY(dotsPerInchY > 0 ? dotsPerInchY : 96.0)
{ }

Twips Twips::forWidget(const QWidget& widget)
{
    return Twips(widget.logicalDpiX(), widget.logicalDpiY());
}

int Twips::x(int twips) const
{
    return scaled(twips, m_dpiX);
}

int Twips::y(int twips) const
{
    return scaled(twips, m_dpiY);
}

QSize Twips::size(int width, int height) const
{
    return {x(width), y(height)};
}

QRect Twips::rect(int left, int top, int width, int height) const
{
    // Edges rounded, not sizes, so that controls designed edge to edge stay so.
    const int l = x(left);
    const int t = y(top);
    return {l, t, x(left + width) - l, y(top + height) - t};
}

void placeTwips(QWidget& control, int left, int top, int width, int height)
{
    control.setGeometry(Twips::forWidget(control).rect(left, top, width, height));
}

void centreOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace Tollgate
