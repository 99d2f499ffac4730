// The command line the saver hands QApplication. The saver itself reads none:
// this one only names the platforms to try, in the order the display check
// found them usable.
#pragma once

#include <string>
#include <vector>

#include "common/no_copy.h"

namespace tw::platform {

class QtArguments : private common::NoCopy {
 public:
  // `platforms` as the display check planned it ("wayland;xcb"); empty when
  // QT_QPA_PLATFORM is set, since on the command line the list would win
  // over Qt's own variable.
  explicit QtArguments(std::string platforms);

  // What QApplication's constructor takes; both must outlive it.
  int& count() { return count_; }
  char** values() { return pointers_.data(); }

 private:
  std::string name_ = "trenchwalk";
  std::string platformOption_ = "-platform";
  std::string platforms_;
  std::vector<char*> pointers_;
  int count_ = 0;
};

}  // namespace tw::platform
