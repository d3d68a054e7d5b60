#pragma once

#include <QPixmap>

namespace Tollgate::NotifyPictures {

// Square pictures of the given side in pixels, drawn here so that they look the same with
// every style and theme.
// A red no-entry sign: something was blocked.
QPixmap blocked(int side);
// An hourglass: the computer has been idle.
QPixmap idle(int side);
// A padlock: the password prompt.
QPixmap padlock(int side);

} // namespace Tollgate::NotifyPictures
