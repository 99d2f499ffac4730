#include "shell/scene.h"
#include "shell/text.h"

namespace tw {

void ScreenS::Form_Load() {
  fallFrame = 0;
  PrepareLogFile();
  fallsEnabled = 1;
  rnd_.reseed(secondsSinceMidnight(services_.localTime()));
  Image1.Visible = true;
  Label1.setAutoSize(true);
  WindowLeft = 0;
  WindowTop = 0;
  Width = ScreenWidth();
  Height = ScreenHeight();
  Label6.setCaption("Press F1 for Help");
  Label6.Visible = true;
  Timer2.setEnabled(true);
  SetUpCourse();
}

}  // namespace tw
