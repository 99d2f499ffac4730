// Which key releases the saver takes as commands: a release counts only when
// the window saw its key go down, and auto-repeat releases never count. So the
// Enter that started the program from a terminal, or the Return that closed a
// message box, does not end the run, and a held key does not flicker.
#pragma once

#include <set>

namespace tw {

class KeyFilter {
 public:
  void press(int key, bool autoRepeat);
  // True when this release is to reach the key handler.
  bool release(int key, bool autoRepeat);
  // Keys held when the window lost the keyboard cannot be matched any more.
  void forgetAll() { down_.clear(); }

 private:
  std::set<int> down_;
};

}  // namespace tw
