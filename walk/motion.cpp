#include "walk/motion.h"

namespace tw {

void Motion::wave(int32_t ms) {
  waveTimer_.setInterval(ms);
  switchTo(Mode::Waving);
}

const Timer& Motion::timerOf(Mode mode) const {
  switch (mode) {
    case Mode::Walking: return walkTimer_;
    case Mode::Falling: return fallTimer_;
    case Mode::Waving: break;
  }
  return waveTimer_;
}

Timer& Motion::timerFor(Mode mode) {
  switch (mode) {
    case Mode::Walking: return walkTimer_;
    case Mode::Falling: return fallTimer_;
    case Mode::Waving: break;
  }
  return waveTimer_;
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
