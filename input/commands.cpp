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
      if (const auto total = log_.loggedDistances()) wave_.showMessage(*total);
      // After the error box, if one is queued, once it has been answered.
      outbox_.then([this] { wave_.startTimeOut(); });
      break;

    case kKeyH:
      wave_.hideMessage();
      break;

    case kKeyQ:
      outbox_.push(OpenAddress{scene_.address.caption()});
      log_.saveLogAndQuit();
      break;

    case kKeyD:
      wave_.showMessage(course_.toggleFalls() ? "Falls = Enabled" : "Falls = Disabled");
      break;

    case kKeyF1:
      wave_.showMessage(helpText(scene_.address.caption()));
      wave_.startTimeOut();
      wave_.startWave();
      break;

    default:
      log_.saveLogAndQuit();
      break;
  }
}

void Commands::onClick() { log_.saveLogAndQuit(); }

}  // namespace tw
