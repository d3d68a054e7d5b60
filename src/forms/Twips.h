#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace Tollgate {

// Window layouts are designed in twips, 1/1440 inch; at 96 dots per inch 15 twips make
// one pixel. Converts them with a screen's logical resolution.
class Twips
{
public:
    Twips(qreal dotsPerInchX, qreal dotsPerInchY);
    // With the logical resolution of the screen the widget is on.
    static Twips forWidget(const QWidget& widget);

    int x(int twips) const;
    int y(int twips) const;
    QSize size(int width, int height) const;
    QRect rect(int left, int top, int width, int height) const;

private:
    qreal m_dpiX;
    qreal m_dpiY;
};

// Places a control at a design rectangle in twips, relative to its container.
void placeTwips(QWidget& control, int left, int top, int width, int height);

// Moves a top-level window to the middle of its screen's available area.
void centreOnScreen(QWidget& window);

} // namespace Tollgate
