#include "shell/scene.h"

namespace tw {
namespace {

constexpr const char* kCrLf = "\r\n";

std::string helpText(const std::string& address) {
  return std::string("Key    Function") + kCrLf +
         kCrLf +
         "+        Add and show logged distances" + kCrLf +
         "H       Hide this menu and other blue displays" + kCrLf +
         "D       Enable(default)/Disable trenchs " + kCrLf +
         "Q       Go to " + address + kCrLf +
         "           All others stop execution and save log";
}

}  // namespace

void ScreenS::Form_KeyUp(int keyCode) {
  switch (keyCode) {
    case kKeyNumpadPlus:
      ShowLoggedDistances();
      Timer2.setEnabled(true);
      break;

    case kKeyH:
      Timer4.setEnabled(false);
      Label6.setCaption("");
      if (Label6.Visible) Image1.Top = static_cast<float>(walkerTop);
      Label6.Visible = false;
      if (!Timer3.Enabled()) Timer1.setEnabled(true);
      break;

    case kKeyQ:
      services_.openAddress(Label4.Caption());
      SaveLogAndQuit();
      break;

    case kKeyD:
      if (fallsEnabled == 0) {
        fallsEnabled = 1;
        Label6.setCaption("Falls = Enabled");
      } else {
        fallsEnabled = 0;
        Label6.setCaption("Falls = Disabled");
      }
      Label6.Visible = true;
      break;

    case kKeyF1:
      Label6.setCaption(helpText(Label4.Caption()));
      Label6.Visible = true;
      Timer2.setEnabled(true);
      if (!Timer4.Enabled()) StartIdleAnimation();
      break;

    default:
      SaveLogAndQuit();
      break;
  }
}

void ScreenS::Form_Click() { SaveLogAndQuit(); }

void ScreenS::StartIdleAnimation() {
  if (Timer3.Enabled()) return;
  idleFrame = 1;
  constexpr int32_t kIdleInterval = 100;
  Timer4.setInterval(kIdleInterval);
  Timer4.setEnabled(true);
  Timer1.setEnabled(false);
  // The idle images are taller than the walking ones; lifting the sprite
  // keeps the walker standing on the lane.
  constexpr int32_t kIdleLift = 30;
  Image1.Top = static_cast<float>(walkerTop - kIdleLift);
}

}  // namespace tw
