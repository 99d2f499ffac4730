#include "input/commands.h"

#include <string>

#include "shell/text.h"

namespace tw {
namespace {

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

void Commands::onKeyUp(int keyCode) {
  switch (keyCode) {
    case kKeyNumpadPlus:
      log_.showLoggedDistances();
      timers_.messageTimeout.setEnabled(true);
      break;

    case kKeyH:
      wave_.hideMessage();
      break;

    case kKeyQ:
      services_.openAddress(scene_.address.caption());
      log_.saveLogAndQuit();
      break;

    case kKeyD:
      wave_.showMessage(course_.toggleFalls() ? "Falls = Enabled" : "Falls = Disabled");
      break;

    case kKeyF1:
      wave_.showMessage(helpText(scene_.address.caption()));
      timers_.messageTimeout.setEnabled(true);
      if (!timers_.waveTimer.enabled()) wave_.startWave();
      break;

    default:
      log_.saveLogAndQuit();
      break;
  }
}

void Commands::onClick() { log_.saveLogAndQuit(); }

}  // namespace tw
