// The pointer over the saver's windows: nearly invisible, three dark-red dots
// in a short column, so the screen stays dark without losing the pointer.
#pragma once

#include <QCursor>
#include <QImage>

namespace tw::platform {

QImage cursorImage();
QCursor saverCursor();

}  // namespace tw::platform
