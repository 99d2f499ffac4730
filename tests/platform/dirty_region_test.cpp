#include <gtest/gtest.h>

#include <cmath>

#include "platform/paint/scene_paint.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

class DirtyRegion : public ::testing::Test {
 protected:
  void SetUp() override {
    saver.core->start();
    saver.core->advanceTo(1000);
    ASSERT_TRUE(saver.core->scene().walker.picture.has_value());
  }
  Scene& s() { return saver.stage.scene(); }
  // The sprite's box in logical pixels at a device pixel ratio, worked out
  // here from its position and picture size.
  QRect spriteBox(qreal dpr = 1) {
    const Picture pic = *s().walker.picture;
    const PixelSize size = s().framesOf(pic).size(pic.index);
    const int scale = std::max(1, static_cast<int>(std::lround(dpr)));
    const double x = std::lround(std::floor(s().walker.left / 15) * dpr);
    const double y = std::lround((std::floor(s().walker.top / 15) + size.height) * dpr) - size.height * scale;
    const int left = static_cast<int>(std::floor(x / dpr)), top = static_cast<int>(std::floor(y / dpr));
    const int right = static_cast<int>(std::ceil((x + size.width * scale) / dpr));
    const int bottom = static_cast<int>(std::ceil((y + size.height * scale) / dpr));
    return QRect(left, top, right - left, bottom - top);
  }

  test::OffscreenCore saver;
};

TEST_F(DirtyRegion, NothingChangedRepaintsNothing) {
  const SceneSnapshot before = snapshotScene(s(), 1);
  EXPECT_TRUE(changedRegion(before, snapshotScene(s(), 1)).isEmpty());
}

struct MoveCase {
  const char* name;
  qreal dpr;
  float dx, dy;
};

class SpriteMove : public DirtyRegion, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(SpriteMove, CoversTheOldAndNewBoxesOnly) {
  const MoveCase& c = GetParam();
  const SceneSnapshot before = snapshotScene(s(), c.dpr);
  const QRect oldBox = spriteBox(c.dpr);
  s().walker.left += c.dx;
  s().walker.top += c.dy;
  const QRect newBox = spriteBox(c.dpr);
  ASSERT_NE(oldBox, newBox);
  EXPECT_EQ(changedRegion(before, snapshotScene(s(), c.dpr)), QRegion(oldBox) + QRegion(newBox));
}

INSTANTIATE_TEST_SUITE_P(Moves, SpriteMove,
                         ::testing::Values(MoveCase{"WalkStepLeft", 1, -70, 0},
                                           MoveCase{"WalkStepRight", 1, 70, 0},
                                           MoveCase{"Drop", 1, 0, 50},
                                           MoveCase{"FarJump", 1, 6000, -600},
                                           MoveCase{"StepAtDoubleScale", 2, 70, 0},
                                           MoveCase{"StepAtOneAndAHalf", 1.5, 70, 10}),
                         [](const auto& info) { return std::string(info.param.name); });

// Whole device pixels make the picture taller than the ratio would at 1.25,
// 1.5 or 1.75; its feet stay where they are at every ratio, on the lane.
TEST_F(DirtyRegion, TheSpriteStandsOnTheSameGroundAtEveryScale) {
  const Picture pic = *s().walker.picture;
  const int height = s().walkFrames.size(pic.index).height;
  ASSERT_EQ(pic.set, 1);
  const int feet = static_cast<int>(std::floor(s().walker.top / 15)) + height;
  for (qreal dpr : {1.0, 1.25, 1.5, 1.75, 2.0, 3.0}) {
    const QRect device = spriteDeviceRect(s(), dpr);
    EXPECT_EQ(device.top() + device.height(), std::lround(feet * dpr)) << "at " << dpr;
    EXPECT_EQ(device.height(), height * spriteScale(dpr)) << "at " << dpr;
  }
  // At whole ratios, the top is where it always was.
  EXPECT_EQ(spriteDeviceRect(s(), 2).top(), 2 * static_cast<int>(std::floor(s().walker.top / 15)));
}

TEST_F(DirtyRegion, NewPictureInPlaceRepaintsTheLargerOfTheTwoBoxes) {
  s().walker.picture = s().walkFrames.picture(3);  // 15 x 21
  const SceneSnapshot before = snapshotScene(s(), 1);
  const QRect narrow = spriteBox();
  s().walker.picture = s().walkFrames.picture(4);  // 18 x 22
  const QRect wide = spriteBox();
  EXPECT_EQ(changedRegion(before, snapshotScene(s(), 1)), QRegion(narrow) + QRegion(wide));
  EXPECT_EQ(QRegion(narrow) + QRegion(wide), QRegion(wide));
}

TEST_F(DirtyRegion, CaptionChangeRepaintsThatLabelOnly) {
  const SceneSnapshot before = snapshotScene(s(), 1);
  s().distance.setCaption("42");
  const QRegion region = changedRegion(before, snapshotScene(s(), 1));
  EXPECT_EQ(region, QRegion(before[1].box));
  const QRect box(static_cast<int>(std::floor(s().distance.left / 15)), static_cast<int>(std::floor(s().distance.top / 15)),
                  41, 17);
  EXPECT_EQ(region, QRegion(box));
}

TEST_F(DirtyRegion, GrowingCaptionRepaintsItsOldAndNewExtent) {
  const SceneSnapshot before = snapshotScene(s(), 1);
  const QRect oldBox = before[3].box;
  s().address.setCaption("https://korvek.example/and/a/much/longer/address");
  const SceneSnapshot after = snapshotScene(s(), 1);
  EXPECT_GT(after[3].box.width(), oldBox.width());
  EXPECT_EQ(changedRegion(before, after), QRegion(oldBox) + QRegion(after[3].box));
  EXPECT_TRUE(changedRegion(before, after).contains(QPoint(oldBox.left(), oldBox.top())));
}

TEST_F(DirtyRegion, HidingALabelRepaintsWhereItWas) {
  ASSERT_TRUE(s().message.visible);
  const SceneSnapshot before = snapshotScene(s(), 1);
  s().message.visible = false;
  EXPECT_EQ(changedRegion(before, snapshotScene(s(), 1)), QRegion(before[5].box));
}

TEST_F(DirtyRegion, ChangingAHiddenLabelRepaintsNothing) {
  s().warning.visible = false;
  const SceneSnapshot before = snapshotScene(s(), 1);
  s().warning.setCaption("SOMETHING ELSE");
  s().warning.left += 300;
  EXPECT_TRUE(changedRegion(before, snapshotScene(s(), 1)).isEmpty());
}

TEST_F(DirtyRegion, ColourChangeRepaintsTheElement) {
  const SceneSnapshot before = snapshotScene(s(), 1);
  s().lane.color = RGB(200, 0, 0);
  const QRegion region = changedRegion(before, snapshotScene(s(), 1));
  EXPECT_EQ(region, QRegion(QRect(0, static_cast<int>(std::floor(s().lane.y1 / 15)), 1024, 1)));
}

TEST_F(DirtyRegion, TrenchOpeningRepaintsBothLanes) {
  const SceneSnapshot before = snapshotScene(s(), 1);
  saver.stage.course().openTrench();
  const SceneSnapshot after = snapshotScene(s(), 1);
  const QRegion region = changedRegion(before, after);
  EXPECT_EQ(region, QRegion(before[9].box) + QRegion(after[10].box));
}

TEST_F(DirtyRegion, OneWalkTickRepaintsLittleOfTheScreen) {
  s().message.visible = false;
  const SceneSnapshot before = snapshotScene(s(), 1);
  saver.core->advanceBy(100);
  const QRegion region = changedRegion(before, snapshotScene(s(), 1));
  ASSERT_FALSE(region.isEmpty());
  int area = 0;
  for (const QRect& r : region) area += r.width() * r.height();
  EXPECT_LT(area, 1024 * 768 / 100);
}

}  // namespace
}  // namespace tw::platform
