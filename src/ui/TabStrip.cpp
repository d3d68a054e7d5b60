#include "TabStrip.h"

#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>

namespace Tollgate {

TabStrip::TabStrip(QWidget* parent)
    : QTabBar(parent)
{
    setExpanding(false);
    setDrawBase(false);
    setUsesScrollButtons(false);
}

QRect TabStrip::pageArea() const
{
    const int tabsHeight = count() > 0 ? tabRect(0).height() : 0;
    return rect().adjusted(0, tabsHeight, 0, 0);
}

void TabStrip::paintEvent(QPaintEvent* event)
{
    {
        QStylePainter painter(this);
        QStyleOptionTabWidgetFrame frame;
        frame.initFrom(this);
        frame.rect = pageArea();
        frame.shape = shape();
        frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
        frame.tabBarSize
            = count() > 0 ? QSize(tabRect(count() - 1).right() + 1, tabRect(0).height()) : QSize();
        frame.tabBarRect = QRect(QPoint(0, 0), frame.tabBarSize);
        painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
    }
    QTabBar::paintEvent(event);
}

} // namespace Tollgate
