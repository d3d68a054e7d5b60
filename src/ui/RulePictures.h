#pragma once

#include <QPixmap>

namespace Tollgate::RulePictures {

// 32 x 32 pictures for the header bands: a window for window rules, a running program for
// process rules. Drawn here, so that they look the same with every style and theme.
QPixmap windowRule();
QPixmap processRule();

} // namespace Tollgate::RulePictures
