#include <gtest/gtest.h>

#include <QImage>

#include "platform/paint/sprites.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

struct SpriteCase {
  int set, index, width, height;
};

const SpriteCase kSpriteCases[] = {
    {1, 1, 18, 21}, {1, 2, 19, 21}, {1, 3, 15, 21}, {1, 4, 18, 22},
    {1, 5, 18, 21}, {1, 6, 19, 21}, {1, 7, 15, 21}, {1, 8, 18, 22},
    {2, 1, 32, 32}, {2, 2, 32, 32}, {2, 3, 32, 32}, {2, 4, 32, 32}, {2, 5, 32, 32}, {2, 6, 32, 32},
    {3, 1, 31, 25}, {3, 2, 31, 25}, {3, 3, 31, 25}, {3, 4, 31, 25}, {3, 5, 31, 25},
    {3, 6, 31, 25}, {3, 7, 31, 25}, {3, 8, 31, 25}, {3, 9, 31, 25}, {3, 10, 31, 25},
};

class Sprites : public ::testing::TestWithParam<SpriteCase> {};

// Opaque, so that its black covers what lies behind it.
TEST_P(Sprites, LoadsOpaqueFromTheResourcesAtItsOwnSize) {
  const SpriteCase& c = GetParam();
  const SpriteSet sprites;
  const QImage& image = sprites.image(Picture{c.set, c.index});
  ASSERT_FALSE(image.isNull()) << qPrintable(spritePath(c.set, c.index));
  EXPECT_EQ(image.width(), c.width);
  EXPECT_EQ(image.height(), c.height);
  EXPECT_FALSE(image.hasAlphaChannel());
  // The file itself, not only the opaque copy, has that size, and so has the
  // picture the core lays the sprite out with.
  EXPECT_EQ(QImage(spritePath(c.set, c.index)).size(), QSize(c.width, c.height));
  test::OffscreenCore saver;
  const FrameSet& list = saver.core->scene().framesOf(Picture{c.set, c.index});
  EXPECT_EQ(list.size(c.index).width, c.width);
  EXPECT_EQ(list.size(c.index).height, c.height);
}

std::string pictureName(const ::testing::TestParamInfo<SpriteCase>& info) {
  const char* stem = info.param.set == 1 ? "Walk" : info.param.set == 2 ? "Fall" : "Idle";
  return stem + std::to_string(info.param.index);
}

INSTANTIATE_TEST_SUITE_P(Pictures, Sprites, ::testing::ValuesIn(kSpriteCases), pictureName);

TEST(Sprites, EverySetOfTheCoreHasAllItsPictures) {
  test::OffscreenCore saver;
  const SpriteSet sprites;
  EXPECT_TRUE(sprites.complete());
  const Scene& scene = saver.core->scene();
  for (const FrameSet* list : {&scene.walkFrames, &scene.fallFrames, &scene.waveFrames}) {
    EXPECT_EQ(spriteCount(list->set()), list->count()) << "set " << list->set();
    for (int i = 1; i <= list->count(); ++i)
      EXPECT_FALSE(sprites.image(list->picture(i)).isNull()) << list->set() << "/" << i;
  }
}

TEST(Sprites, UnknownPicturesAreNull) {
  const SpriteSet sprites;
  for (const Picture unknown : {Picture{1, 0}, Picture{1, 9}, Picture{4, 1}, Picture{0, 1}})
    EXPECT_TRUE(sprites.image(unknown).isNull()) << unknown.set << "/" << unknown.index;
}

TEST(Sprites, WindowIconIs48Square) { EXPECT_EQ(iconImage().size(), QSize(48, 48)); }

}  // namespace
}  // namespace tw::platform
