#include "shell/scene.h"

#include "shell/text.h"

namespace tw {
namespace {

// Design-time fonts. The platform picks the nearest face it has.
constexpr int kNormal = 400;
constexpr int kBold = 700;
Font verdana(float size) { return Font{kVerdana, size, kNormal}; }
Font arial(float size) { return Font{kArial, size, kNormal}; }
Font sansSerif(float size, int weight) { return Font{kSansSerif, size, weight}; }

// Design-time colours.
constexpr Rgb kWhite = RGB(255, 255, 255);
constexpr Rgb kBlack = RGB(0, 0, 0);
constexpr Rgb kGrey = RGB(128, 128, 128);
constexpr Rgb kBlue = RGB(0, 0, 255);
constexpr Rgb kRed = RGB(255, 0, 0);
constexpr Rgb kOrange = RGB(255, 128, 0);

}  // namespace

Scene::Scene(Services& services)
    : clock(services, {.caption = "00:00:00", .color = kWhite, .font = verdana(8.25f),
                       .autoSize = true, .visible = true, .opaque = true,
                       .left = 3420, .top = 3480, .width = 780, .height = 195}),
      clockShadow(services, {.caption = "", .color = kBlack, .font = arial(8.25f),
                             .autoSize = true, .visible = true, .opaque = false,
                             .left = 3435, .top = 3840, .width = 45, .height = 210}),
      distance(services, {.caption = "0", .color = kGrey,
                          .font = sansSerif(8.25f, kBold), .autoSize = false, .visible = true,
                          .opaque = false, .left = 1800, .top = 4020, .width = 615, .height = 255}),
      distanceUnit(services, {.caption = "cm", .color = kGrey,
                              .font = sansSerif(8.25f, kBold), .autoSize = false, .visible = true,
                              .opaque = false, .left = 2460, .top = 4020, .width = 615,
                              .height = 255}),
      address(services, {.caption = kMakerAddress, .color = kGrey,
                         .font = sansSerif(8.25f, kNormal), .autoSize = true, .visible = true,
                         .opaque = false, .left = 4920, .top = 5340, .width = 2700, .height = 195}),
      message(services, {.caption = "_", .color = kBlue,
                         .font = sansSerif(9.75f, kBold), .autoSize = true, .visible = false,
                         .opaque = false, .left = 660, .top = 540, .width = 135, .height = 240}),
      warning(services, {.caption = "WARNING", .color = kRed,
                         .font = Font{kArialBlack, 14.25f, kBold}, .autoSize = true,
                         .visible = false, .opaque = false,
                         .left = 3900, .top = 240, .width = 1680, .height = 405}),
      trenchNotice(services, {.caption = "OPEN TRENCH", .color = kOrange,
                              .font = sansSerif(8.25f, kBold), .autoSize = true, .visible = false,
                              .opaque = false, .left = 4080, .top = 660, .width = 1350,
                              .height = 195}),
      walker{.left = 3480, .top = 3300, .visible = true, .picture = std::nullopt},
      lane{.x1 = 60, .y1 = 1620, .x2 = 6540, .y2 = 1620, .color = kGrey,
           .visible = false},
      trenchLine{.x1 = 600, .y1 = 1380, .x2 = 1200, .y2 = 1380, .color = kRed,
                 .visible = false},
      // Pixel sizes of each set's pictures, which the platform draws them at.
      walkFrames(1, {{18, 21}, {19, 21}, {15, 21}, {18, 22},
                     {18, 21}, {19, 21}, {15, 21}, {18, 22}}),
      fallFrames(2, {{32, 32}, {32, 32}, {32, 32}, {32, 32}, {32, 32}, {32, 32}}),
      waveFrames(3, {{31, 25}, {31, 25}, {31, 25}, {31, 25}, {31, 25},
                     {31, 25}, {31, 25}, {31, 25}, {31, 25}, {31, 25}}),
      services_(services) {}

const FrameSet& Scene::framesOf(const Picture& picture) const {
  return picture.set == walkFrames.set()   ? walkFrames
         : picture.set == fallFrames.set() ? fallFrames
                                           : waveFrames;
}

bool Scene::elementAt(float x, float y) const {
  auto inside = [x, y](float left, float top, float width, float height) {
    return x >= left && x < left + width && y >= top && y < top + height;
  };
  for (const Label* label : {&clock, &distance, &distanceUnit, &address, &clockShadow, &message,
                             &warning, &trenchNotice}) {
    if (label->visible && inside(label->left, label->top, label->width(), label->height()))
      return true;
  }
  if (!walker.visible || !walker.picture) return false;
  const PixelSize size = framesOf(*walker.picture).size(walker.picture->index);
  return inside(walker.left, walker.top, size.width * kTwipsPerPixel, size.height * kTwipsPerPixel);
}

void Scene::coverScreen() {
  const Extent screen = services_.screenSize();
  if (!(screen.width > 0 && screen.height > 0)) return;
  width_ = screen.width;
  height_ = screen.height;
}

void Scene::showTimeOfDay() {
  const LocalTime t = services_.localTime();
  if (t.second != shownSecond_.second || t.minute != shownSecond_.minute ||
      t.hour != shownSecond_.hour || shownTime_.empty()) {
    shownSecond_ = t;
    shownTime_ = timeText(t);
  }
  clock.setCaption(shownTime_);
  clockShadow.setCaption(shownTime_);
}

}  // namespace tw
