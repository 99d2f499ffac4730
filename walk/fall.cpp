#include "walk/fall.h"

#include <cmath>

#include "shell/text.h"

namespace tw {
namespace {

// The drop: a depth of 20 to 39 ticks, 50 twips each, 10 ms apart, always
// shown with the first fall picture.
constexpr int kShallowestDrop = 20;
constexpr int kDropDepths = 20;
constexpr int32_t kDropInterval = 10;
constexpr float kDropStep = 50;
constexpr int kDropFrame = 1;
// Under the umbrella: 40 twips a tick, 170 ms apart. The umbrella opens on
// the third picture and lifts the walker 160 twips; the second shifts it 20
// to the left, where the umbrella's handle is.
constexpr int32_t kUmbrellaInterval = 170;
constexpr float kFloatStep = 40;
constexpr int kUmbrellaOpensFrame = 3;
constexpr float kUmbrellaLift = 160;
constexpr int kHandleFrame = 2;
constexpr float kHandleShift = 20;
// Float loop: 4, 5, 6, with 6 held for one more tick.
constexpr int kLastUmbrellaFrame = 6;
constexpr int kFloatLoopRestart = 3;
constexpr int kHolding = 2;
constexpr int kHeld = 1;

}  // namespace

void Fall::fallTick() {
  scene_.showTimeOfDay();

  // The fall ends on the tick after the sprite's top has reached the bottom
  // of the screen, before anything else moves.
  if (scene_.walker.Top >= scene_.screenHeight()) {
    end();
    return;
  }

  scene_.warning.Visible = false;
  scene_.trenchNotice.Visible = false;

  if (fallStarted == 0) {
    random_.reseed(secondsSinceMidnight(services_.localTime()));
    dropTicksLeft = static_cast<int>(std::floor(random_.next() * kDropDepths)) + kShallowestDrop;
  }

  if (dropTicksLeft > 0) {
    if (!drop()) return;
  } else {
    scene_.walker.Top = scene_.walker.Top + kFloatStep;
  }
  floatDown();
}

void Fall::end() {
  fallFrame = 0;
  fallHold = 0;
  timers_.walkTimer.setEnabled(true);
  timers_.fallTimer.setEnabled(false);
  fallStarted = 0;
  course_.restartAfterFall();
}

bool Fall::drop() {
  Sprite& walker = scene_.walker;
  timers_.fallTimer.setInterval(kDropInterval);
  walker.Top = walker.Top + kDropStep;
  walker.Picture = scene_.fallFrames.picture(kDropFrame);
  if (dropTicksLeft > 1) {
    fallStarted = 1;
    --dropTicksLeft;
    return false;
  }
  dropTicksLeft = 0;
  return true;
}

void Fall::floatDown() {
  Sprite& walker = scene_.walker;
  if (fallFrame < kLastUmbrellaFrame) {
    timers_.fallTimer.setInterval(kUmbrellaInterval);
    ++fallFrame;
    if (fallFrame == kUmbrellaOpensFrame) walker.Top = walker.Top - kUmbrellaLift;
    if (fallFrame == kHandleFrame) walker.Left = walker.Left - kHandleShift;
    walker.Picture = scene_.fallFrames.picture(fallFrame);
  }

  if (fallFrame == kLastUmbrellaFrame) {
    if (fallHold == kHolding) {
      fallHold = kHeld;
      fallFrame = kFloatLoopRestart;
    } else {
      fallHold = kHolding;
    }
  }
}

}  // namespace tw
