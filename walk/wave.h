// The wave and the message: the walker stops and waves while the help is
// shown, and the message time-out hides the message and sends the walker on.
#pragma once

#include "shell/runtime.h"
#include "shell/scene.h"
#include "shell/scheduler.h"
#include "walk/course.h"

namespace tw {

class Wave {
 public:
  Wave(Scene& scene, Timers& timers, const Course& course)
      : scene_(scene), timers_(timers), course_(course) {}

  // Stops the walk and starts waving, unless the walker is falling.
  void startWave();
  // The wave timer's tick.
  void waveTick();
  // The message time-out: hides the message and ends a wave.
  void messageTimedOut();
  // Shows a text in the message.
  void showMessage(const std::string& text);
  // Hides the message; a walker lifted for a wave goes back onto the lane.
  void hideMessage();

  // The wave picture shown next, 1 to 10; 0 until the first wave.
  Int16 waveFrame;

 private:
  void standOnLane();

  Scene& scene_;
  Timers& timers_;
  const Course& course_;
};

}  // namespace tw
