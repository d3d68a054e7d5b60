#pragma once

#include <QTabBar>

namespace Tollgate {

// A row of tabs above an empty page area. The pages are ordinary controls that lie over
// that area; the owner shows the one that belongs to the current tab.
class TabStrip : public QTabBar
{
    Q_OBJECT

public:
    explicit TabStrip(QWidget* parent = nullptr);

    // The part of the strip below the tabs, in the strip's coordinates.
    QRect pageArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace Tollgate
