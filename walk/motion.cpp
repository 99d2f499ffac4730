#include "walk/motion.h"

namespace tw {

void Motion::wave(int32_t ms) {
  timerFor(Mode::Waving).setInterval(ms);
  switchTo(Mode::Waving);
}

// The other two timers stop; the mode's own starts a new count, even when it
// was running already.
void Motion::switchTo(Mode mode) {
  for (Mode other : {Mode::Walking, Mode::Falling, Mode::Waving}) {
    if (other != mode) timerFor(other).setEnabled(false);
  }
  timerFor(mode).setEnabled(true);
  mode_ = mode;
}

}  // namespace tw
