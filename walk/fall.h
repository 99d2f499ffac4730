// The fall into the trench: a straight drop of a drawn depth, then the
// umbrella opens and the walker floats down until it leaves the screen, and a
// new course begins.
#pragma once

#include "shell/random.h"
#include "shell/runtime.h"
#include "shell/scene.h"
#include "shell/services.h"
#include "walk/course.h"
#include "walk/motion.h"

namespace tw {

class Fall {
 public:
  Fall(Services& services, Scene& scene, Motion& motion, Random& random, Course& course)
      : services_(services), scene_(scene), motion_(motion), random_(random), course_(course) {}

  // The fall timer's tick.
  void fallTick();

  // --- The fall's state, 0 until a fall begins.
  // 1 once the drop's depth has been drawn for this fall.
  Int16 fallStarted;
  // Drop ticks still to come.
  Int16 dropTicksLeft;
  // The umbrella picture shown last, 0 before the umbrella opens.
  Int16 fallFrame;
  // 2 while the last umbrella picture is held for one more tick.
  Int16 fallHold;

 private:
  void end();
  // False while the drop goes on.
  bool drop();
  void floatDown();

  Services& services_;
  Scene& scene_;
  Motion& motion_;
  Random& random_;
  Course& course_;
};

}  // namespace tw
