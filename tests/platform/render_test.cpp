#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "platform/paint/scene_paint.h"
#include "platform/paint/sprites.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

QImage render(test::OffscreenServices& services, const Scene& scene, const SpriteSet& sprites,
              int width = 1024, int height = 768, qreal dpr = 1) {
  QImage image(static_cast<int>(width * dpr), static_cast<int>(height * dpr), QImage::Format_RGB32);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::white);  // anything the scene leaves unpainted shows
  QPainter painter(&image);
  paintScene(painter, scene, sprites, services.fonts(), QRect(0, 0, width, height));
  return image;
}

QRect boxOf(const Label& label) {
  return QRect(static_cast<int>(std::floor(label.left / 15)), static_cast<int>(std::floor(label.top / 15)),
               static_cast<int>(std::ceil(label.width() / 15)), static_cast<int>(std::ceil(label.height() / 15)));
}

int countColour(const QImage& image, const QRect& area, QRgb colour) {
  int n = 0;
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x)
      if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff)) ++n;
  return n;
}

class LoadedScene : public ::testing::Test {
 protected:
  void SetUp() override {
    saver.core->start();
    saver.core->advanceTo(3000);
    ASSERT_FALSE(saver.core->ended());
    // The checks below read the scene of an ordinary walk: lane shown, hint up.
    ASSERT_TRUE(saver.core->scene().lane.visible);
    ASSERT_TRUE(saver.core->scene().message.visible);
    image = render(saver.services, saver.core->scene(), sprites);
  }

  test::OffscreenCore saver;
  SpriteSet sprites;
  QImage image;
};

TEST_F(LoadedScene, BackgroundIsBlack) {
  EXPECT_EQ(countColour(image, image.rect(), qRgb(255, 255, 255)), 0);
  const int black = countColour(image, image.rect(), qRgb(0, 0, 0));
  EXPECT_GT(black, image.width() * image.height() * 95 / 100);
  for (QPoint corner : {QPoint(0, 0), QPoint(1023, 0), QPoint(0, 767), QPoint(1023, 767)})
    EXPECT_EQ(image.pixel(corner) & 0xffffff, 0u) << corner.x() << "," << corner.y();
}

TEST_F(LoadedScene, GroundLineRunsTheFullWidthOnItsRow) {
  const Scene& s = saver.core->scene();
  ASSERT_EQ(s.lane.y1, s.lane.y2);
  const int row = static_cast<int>(s.lane.y1 / 15);
  // One pixel high: the rows around it hold none of its colour.
  for (const auto& [at, count] : {std::pair{row - 1, 0}, {row, 1024}, {row + 1, 0}})
    EXPECT_EQ(countColour(image, QRect(0, at, 1024, 1), qRgb(5, 10, 100)), count) << "row " << at;
}

TEST_F(LoadedScene, ClockIsDrawnInItsColourInsideItsBox) {
  const Scene& s = saver.core->scene();
  EXPECT_EQ(s.clock.color, RGB(240, 139, 95));
  EXPECT_GT(countColour(image, boxOf(s.clock), qRgb(240, 139, 95)), 20);
}

TEST_F(LoadedScene, HelpHintIsBlueAndHiddenLeavesNoBlue) {
  const Scene& s = saver.core->scene();
  EXPECT_EQ(s.message.caption(), "Press F1 for Help");
  EXPECT_GT(countColour(image, boxOf(s.message), qRgb(0, 0, 255)), 20);
  // Nothing else on the screen is that blue.
  EXPECT_EQ(countColour(image, image.rect(), qRgb(0, 0, 255)),
            countColour(image, boxOf(s.message), qRgb(0, 0, 255)));
  // Hidden, it leaves none.
  saver.stage.scene().message.visible = false;
  const QImage hidden = render(saver.services, saver.core->scene(), sprites);
  EXPECT_EQ(countColour(hidden, hidden.rect(), qRgb(0, 0, 255)), 0);
}

TEST_F(LoadedScene, FixedSizeLabelIsClippedToItsBox) {
  Scene& s = saver.stage.scene();
  ASSERT_FALSE(s.distance.autoSize());
  s.distance.setCaption("88888888888888888888");
  const QImage clipped = render(saver.services, s, sprites);
  const QRect box = boxOf(s.distance);
  const QRgb grey = qRgb(128, 128, 128);
  EXPECT_GT(countColour(clipped, box, grey), 0);
  // Right of the box, up to the clock, no grey digit reaches.
  const QRect beyond(box.right() + 1, box.top(), boxOf(s.distanceUnit).left() - box.right() - 1, box.height());
  ASSERT_GT(beyond.width(), 0);
  EXPECT_EQ(countColour(clipped, beyond, grey), 0);
}

TEST_F(LoadedScene, ClockBoxHidesTheWalkerBehindIt) {
  Scene& s = saver.stage.scene();
  s.walker.picture = s.fallFrames.picture(1);
  s.walker.left = s.clock.left;
  s.walker.top = s.clock.top;
  const QImage covered = render(saver.services, s, sprites);
  const QRect box = boxOf(s.clock);
  for (int y = box.top() + 1; y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) {
      const QRgb p = covered.pixel(x, y) & 0xffffff;
      // Only the clock's digits and their shadow show inside the box.
      const bool clockInk = qRed(p) >= qGreen(p) && qGreen(p) >= qBlue(p);
      ASSERT_TRUE(clockInk) << x << "," << y << " " << std::hex << p;
    }
}

// The walker alone on the screen, at a position that is not a whole pixel.
class SpriteScene : public ::testing::Test {
 protected:
  void SetUp() override {
    saver.core->start();
    Scene& s = saver.stage.scene();
    for (Label* label : {&s.clock, &s.distance, &s.distanceUnit, &s.address, &s.clockShadow, &s.message, &s.warning, &s.trenchNotice})
      label->visible = false;
    s.lane.visible = s.trenchLine.visible = false;
    s.walker.visible = true;
    s.walker.picture = s.walkFrames.picture(2);
    s.walker.left = 4507;  // 300.47 pixels
    s.walker.top = 3000;
  }
  test::OffscreenCore saver;
  SpriteSet sprites;
};

TEST_F(SpriteScene, IsDrawnPixelExactInWholeDevicePixels) {
  for (const qreal dpr : {1.0, 2.0, 3.0}) {
    SCOPED_TRACE(dpr);
    const QImage image = render(saver.services, saver.core->scene(), sprites, 1024, 768, dpr);
    const QImage& picture = sprites.image(Picture{1, 2});
    const int scale = static_cast<int>(std::lround(dpr));
    const int left = static_cast<int>(std::lround(300 * dpr));
    const int top = static_cast<int>(std::lround(200 * dpr));
    for (int y = 0; y < picture.height() * scale; ++y)
      for (int x = 0; x < picture.width() * scale; ++x)
        ASSERT_EQ(image.pixel(left + x, top + y), picture.pixel(x / scale, y / scale)) << x << "," << y;
    // Nothing of it spills beyond its box.
    const QRect box(left, top, picture.width() * scale, picture.height() * scale);
    EXPECT_EQ(countColour(image, image.rect(), qRgb(0, 0, 0)) + box.width() * box.height() -
                  countColour(image, box, qRgb(0, 0, 0)),
              image.width() * image.height());
  }
}

}  // namespace
}  // namespace tw::platform
