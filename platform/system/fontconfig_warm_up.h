// fontconfig, which Qt finds its fonts with, reads its configuration (dozens
// of files) the first time a font is asked for, which the core's start does.
// Read on a thread of its own while Qt connects to the display, it is no
// longer in the way of the first frame.
#pragma once

#include <thread>

#include "common/no_copy.h"

namespace tw::platform {

class FontconfigWarmUp : private common::NoCopy {
 public:
  // Starts the reading. Without fontconfig's headers at build time, or
  // without room for one more thread, fontconfig is set up when first asked.
  FontconfigWarmUp();

  // Waits for the reading to end: called before anything asks for a font.
  void finish();

 private:
  std::jthread thread_;
};

}  // namespace tw::platform
