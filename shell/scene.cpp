#include "shell/scene.h"

#include "shell/text.h"

namespace tw {
namespace {

// Design-time fonts. The platform picks the nearest face it has.
Font verdana(float size) { return Font{"Verdana", size, 400}; }
Font arial(float size) { return Font{"Arial", size, 400}; }
Font sansSerif(float size, int weight) { return Font{"MS Sans Serif", size, weight}; }
constexpr int kBold = 700;

}  // namespace

Scene::Scene(Services& services)
    : clock(services, {"00:00:00", RGB(255, 255, 255), verdana(8.25f), true, true, true,
                       3420, 3480, 780, 195}),
      clockShadow(services, {"", RGB(0, 0, 0), arial(8.25f), true, true, false, 3435, 3840, 45, 210}),
      distance(services, {"0", RGB(128, 128, 128), sansSerif(8.25f, kBold), false, true, false,
                          1800, 4020, 615, 255}),
      distanceUnit(services, {"cm", RGB(128, 128, 128), sansSerif(8.25f, kBold), false, true,
                              false, 2460, 4020, 615, 255}),
      address(services, {kMakerAddress, RGB(128, 128, 128), sansSerif(8.25f, 400), true, true,
                         false, 4920, 5340, 2700, 195}),
      message(services, {"_", RGB(0, 0, 255), sansSerif(9.75f, kBold), true, false, false,
                         660, 540, 135, 240}),
      warning(services, {"WARNING", RGB(255, 0, 0), Font{"Arial Black", 14.25f, kBold}, true,
                         false, false, 3900, 240, 1680, 405}),
      trenchNotice(services, {"OPEN TRENCH", RGB(255, 128, 0), sansSerif(8.25f, kBold), true,
                              false, false, 4080, 660, 1350, 195}),
      walker{3480, 3300, true, std::nullopt},
      lane{60, 1620, 6540, 1620, RGB(128, 128, 128), false},
      trenchLine{600, 1380, 1200, 1380, RGB(255, 0, 0), false},
      walkFrames(1, {{18, 21}, {19, 21}, {15, 21}, {18, 22}, {18, 21}, {19, 21}, {15, 21}, {18, 22}}),
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
    if (label->Visible && inside(label->Left, label->Top, label->Width(), label->Height())) return true;
  }
  if (!walker.Visible || !walker.Picture) return false;
  const PixelSize size = framesOf(*walker.Picture).size(walker.Picture->index);
  return inside(walker.Left, walker.Top, size.width * kTwipsPerPixel, size.height * kTwipsPerPixel);
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
