#include "walk/fall.h"

#include <cmath>

#include "shell/text.h"

namespace tw {

void Fall::fallTick() {
  scene_.showTimeOfDay();

  // The fall ends on the tick after the sprite's top has reached the bottom
  // of the screen, before anything else moves.
  if (scene_.walker.top >= scene_.height()) {
    end();
    return;
  }

  scene_.warning.visible = false;
  scene_.trenchNotice.visible = false;

  // The drop's depth: 20 to 39 ticks.
  constexpr int kShallowestDrop = 20;
  constexpr int kDropDepths = 20;
  if (!fallStarted_) {
    random_.reseed(secondsSinceMidnight(services_.localTime()));
    dropTicksLeft_ = static_cast<int>(std::floor(random_.next() * kDropDepths)) + kShallowestDrop;
  }

  if (dropTicksLeft_ > 0) {
    if (!drop()) return;
  } else {
    constexpr float kFloatStep = 40;
    scene_.walker.top = scene_.walker.top + kFloatStep;
  }
  floatDown();
}

void Fall::end() {
  fallFrame_ = 0;
  fallHold_ = FallHold::None;
  motion_.walk();
  fallStarted_ = false;
  course_.restartAfterFall();
}

bool Fall::drop() {
  // 50 twips a tick, 10 ms apart, always shown with the first fall picture.
  constexpr int32_t kDropInterval = 10;
  constexpr float kDropStep = 50;
  constexpr int kDropFrame = 1;
  Sprite& walker = scene_.walker;
  motion_.setFallPace(kDropInterval);
  walker.top = walker.top + kDropStep;
  walker.picture = scene_.fallFrames.picture(kDropFrame);
  if (dropTicksLeft_ > 1) {
    fallStarted_ = true;
    --dropTicksLeft_;
    return false;
  }
  dropTicksLeft_ = 0;
  return true;
}

// Under the umbrella, 170 ms apart, the walker floats down a picture at a time.
void Fall::floatDown() {
  constexpr int32_t kUmbrellaInterval = 170;
  constexpr int kLastUmbrellaFrame = 6;
  Sprite& walker = scene_.walker;
  if (fallFrame_ < kLastUmbrellaFrame) {
    // The umbrella opens on the third picture and lifts the walker 160 twips;
    // the second shifts it 20 to the left, where the umbrella's handle is.
    constexpr int kUmbrellaOpensFrame = 3;
    constexpr float kUmbrellaLift = 160;
    constexpr int kHandleFrame = 2;
    constexpr float kHandleShift = 20;
    motion_.setFallPace(kUmbrellaInterval);
    ++fallFrame_;
    if (fallFrame_ == kUmbrellaOpensFrame) walker.top = walker.top - kUmbrellaLift;
    if (fallFrame_ == kHandleFrame) walker.left = walker.left - kHandleShift;
    walker.picture = scene_.fallFrames.picture(fallFrame_);
  }

  // Float loop: 4, 5, 6, with 6 held for one more tick.
  constexpr int kFloatLoopRestart = 3;
  if (fallFrame_ == kLastUmbrellaFrame) {
    if (fallHold_ == FallHold::Holding) {
      fallHold_ = FallHold::Held;
      fallFrame_ = kFloatLoopRestart;
    } else {
      fallHold_ = FallHold::Holding;
    }
  }
}

}  // namespace tw
