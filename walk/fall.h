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
namespace test {
class Stage;
}  // namespace test

class Fall {
 public:
  Fall(Services& services, Scene& scene, Motion& motion, Random& random, Course& course)
      : services_(services), scene_(scene), motion_(motion), random_(random), course_(course) {}

  // The fall timer's tick.
  void fallTick();

  // --- The fall's state, 0 until a fall begins.
  // 1 once the drop's depth has been drawn for this fall.
  int fallStarted() const { return fallStarted_; }
  // Drop ticks still to come.
  int dropTicksLeft() const { return dropTicksLeft_; }
  // The umbrella picture shown last, 0 before the umbrella opens.
  int fallFrame() const { return fallFrame_; }
  // 2 while the last umbrella picture is held for one more tick.
  int fallHold() const { return fallHold_; }

 private:
  // Tests stage falls (one in its drop) through it.
  friend class test::Stage;


  void end();
  // False while the drop goes on.
  bool drop();
  void floatDown();

  Services& services_;
  Scene& scene_;
  Motion& motion_;
  Random& random_;
  Course& course_;
  Int16 fallStarted_;
  Int16 dropTicksLeft_;
  Int16 fallFrame_;
  Int16 fallHold_;
};

}  // namespace tw
