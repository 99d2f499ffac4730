#include <gtest/gtest.h>

#include <QPixmap>

#include "platform/windows/cursor.h"

namespace tw::platform {
namespace {

TEST(Cursor, IsTransparentButForThreeDarkRedDotsInColumnSix) {
  const QCursor cursor = saverCursor();
  EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
  EXPECT_EQ(cursor.hotSpot(), QPoint(0, 0));
  const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(image.size(), QSize(16, 16));
  int opaque = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const QRgb pixel = image.pixel(x, y);
      const bool dot = x == 6 && (y == 6 || y == 8 || y == 9);
      EXPECT_EQ(qAlpha(pixel), dot ? 255 : 0) << x << "," << y;
      EXPECT_TRUE(!dot || (pixel & 0xffffff) == 0x800000u) << "not dark red at " << x << "," << y;
      if (qAlpha(pixel) != 0) ++opaque;
    }
  }
  EXPECT_EQ(opaque, 3);
}

}  // namespace
}  // namespace tw::platform
