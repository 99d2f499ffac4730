#include "platform/windows/cursor.h"

#include <QPixmap>

namespace tw::platform {

QImage cursorImage() {
  constexpr int kSize = 16;
  constexpr int kColumn = 6;
  QImage image(kSize, kSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int row : {6, 8, 9}) image.setPixel(kColumn, row, qRgb(128, 0, 0));
  return image;
}

QCursor saverCursor() { return QCursor(QPixmap::fromImage(cursorImage()), 0, 0); }

}  // namespace tw::platform
