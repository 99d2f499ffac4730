// The wave and the message: the walker stops and waves while the help is
// shown, and the message time-out hides the message and sends the walker on.
// Every text reaches the message panel through here.
#pragma once

#include <string>

#include "shell/scene.h"
#include "shell/scheduler.h"
#include "walk/course.h"
#include "walk/motion.h"

namespace tw {

class Wave {
 public:
  Wave(Scene& scene, Timer& messageTimeout, Motion& motion, const Course& course)
      : scene_(scene), messageTimeout_(messageTimeout), motion_(motion), course_(course) {}

  // Stops the walk and starts waving, unless the walker is falling or waving
  // already.
  void startWave();
  // One picture of the wave every 100 ms, the tenth followed by the first
  // again, and the clock refreshed.
  void waveTick();
  // The message time-out: hides the message and ends a wave.
  void messageTimedOut();
  // Puts the text in the message panel and shows it; its time-out is left
  // as it is.
  void showMessage(const std::string& text);
  // The message goes away by itself ten seconds from now, whatever it shows
  // then.
  void startTimeOut();
  // Hides the message; a walker lifted for a wave goes back onto the lane, and
  // unless it is falling it walks on.
  void hideMessage();

  // The wave picture shown next, 1 to 10; 0 until the first wave.
  int waveFrame() const { return waveFrame_; }

 private:
  void standOnLane();

  Scene& scene_;
  Timer& messageTimeout_;
  Motion& motion_;
  const Course& course_;
  int waveFrame_ = 0;
};

}  // namespace tw
