// What Qt says while QApplication starts its platform. Should Qt still fail
// after the display check (the display went away in between), its abort
// becomes one plain line and status 1. Qt's notes on the plugins it tried on
// the way are left out, since they are either followed by that line or moot.
#pragma once

#include <QtGlobal>

#include "common/no_copy.h"

namespace tw::platform {

class StartMessages : private common::NoCopy {
 public:
  // Takes over Qt's messages.
  StartMessages();
  ~StartMessages() { end(); }

  // Once QApplication stands: Qt's messages go where they went before.
  void end();

 private:
  QtMessageHandler previous_;
  bool ended_ = false;
};

}  // namespace tw::platform
