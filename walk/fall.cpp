#include <cmath>

#include "shell/scene.h"
#include "shell/text.h"

namespace tw {

void ScreenS::Timer3_Timer() {
  Label1.setCaption(nowTimeText());
  Label5.setCaption(nowTimeText());

  // The fall ends on the tick after the sprite's top has reached the bottom
  // of the screen, before anything else moves.
  if (Image1.Top >= ScreenHeight()) {
    fallFrame = 0;
    fallHold = 0;
    Timer1.setEnabled(true);
    Timer3.setEnabled(false);
    fallStarted = 0;
    trenchChance = 0;
    SetUpCourse();
    return;
  }

  Label7.Visible = false;
  Label8.Visible = false;

  if (fallStarted == 0) {
    rnd_.reseed(secondsSinceMidnight(services_.localTime()));
    dropTicksLeft = static_cast<int>(std::floor(rnd_.next() * 20)) + 20;
  }

  constexpr int32_t kDropInterval = 10;
  constexpr int32_t kUmbrellaInterval = 170;
  if (dropTicksLeft > 0) {
    dropFrame = 1;
    Timer3.setInterval(kDropInterval);
    Image1.Top = Image1.Top + 50;
    Image1.Picture = ImageList2.ListImages(dropFrame);
    if (dropTicksLeft > 1) {
      fallStarted = 1;
      --dropTicksLeft;
      return;
    }
    dropTicksLeft = 0;
  } else {
    Image1.Top = Image1.Top + 40;
  }

  constexpr int kLastUmbrellaImage = 6;
  if (fallFrame < kLastUmbrellaImage) {
    Timer3.setInterval(kUmbrellaInterval);
    ++fallFrame;
    if (fallFrame == 3) Image1.Top = Image1.Top - 160;  // the umbrella opens and lifts
    if (fallFrame == 2) Image1.Left = Image1.Left - 20;
    Image1.Picture = ImageList2.ListImages(fallFrame);
  }

  // Float loop: 4, 5, 6, with 6 held for one more tick.
  if (fallFrame == kLastUmbrellaImage) {
    if (fallHold == 2) {
      fallHold = 1;
      fallFrame = 3;
    } else {
      fallHold = 2;
    }
  }
}

}  // namespace tw
