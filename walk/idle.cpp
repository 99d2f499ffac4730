#include "shell/scene.h"

namespace tw {

void ScreenS::Timer4_Timer() {
  Label1.setCaption(nowTimeText());
  Label5.setCaption(nowTimeText());
  Image1.Picture = ImageList3.ListImages(idleFrame);
  constexpr int kLastIdleImage = 10;
  if (idleFrame >= kLastIdleImage) {
    idleFrame = 1;
  } else {
    ++idleFrame;
  }
}

void ScreenS::Timer2_Timer() {
  Label6.Visible = false;
  if (Timer4.Enabled()) {
    Timer4.setEnabled(false);
    Timer1.setEnabled(true);
    Image1.Top = static_cast<float>(walkerTop);
  }
  Timer2.setEnabled(false);
}

}  // namespace tw
