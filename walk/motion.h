// What the walker is doing: walking, falling or waving, each driven by a timer
// of its own. Motion alone starts and stops those three timers, so exactly one
// of them runs at any time; the course, the fall, the wave and the commands
// ask it what the walker is doing or tell it what comes next.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "shell/scheduler.h"

namespace tw {

// Motion keeps the timers in this order.
enum class Mode { Walking, Falling, Waving };

class Motion {
 public:
  // The walk timer runs from the start, so the walker starts out walking.
  Motion(Timer& walkTimer, Timer& fallTimer, Timer& waveTimer)
      : byMode_{&walkTimer, &fallTimer, &waveTimer} {}

  Mode mode() const { return mode_; }

  // The walker walks from now on. A walk already under way starts its count
  // afresh, so the next step comes a whole interval later.
  void walk() { switchTo(Mode::Walking); }
  // The walker has reached the trench: it falls from now on.
  void fall() { switchTo(Mode::Falling); }
  // The fall sets its own pace as it goes; each change starts a new count.
  void setFallPace(int32_t ms) { timerFor(Mode::Falling).setInterval(ms); }
  // The walker stops and waves, a picture every `ms`.
  void wave(int32_t ms);

  // The timer that drives a mode.
  const Timer& timerOf(Mode mode) const { return *byMode_[static_cast<size_t>(mode)]; }

 private:
  Timer& timerFor(Mode mode) { return *byMode_[static_cast<size_t>(mode)]; }
  void switchTo(Mode mode);

  // In the order of the modes.
  std::array<Timer*, 3> byMode_;
  Mode mode_ = Mode::Walking;
};

}  // namespace tw
