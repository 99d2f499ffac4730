// The fall into the trench: a straight drop of a drawn depth, then the
// umbrella opens and the walker floats down until it leaves the screen, and a
// new course begins.
#pragma once

#include "shell/random.h"
#include "shell/scene.h"
#include "shell/services.h"
#include "walk/course.h"
#include "walk/motion.h"

namespace tw {
namespace test {
class Stage;
}  // namespace test

// The float loop shows umbrella pictures 4, 5 and 6, and the 6 twice.
enum class FallHold {
  // The loop has not reached its last picture yet in this fall.
  None,
  // The last picture is up and stays for one more tick.
  Holding,
  // It has stayed; the loop went back to its start.
  Held,
};

class Fall {
 public:
  Fall(Services& services, Scene& scene, Motion& motion, Random& random, Course& course)
      : services_(services), scene_(scene), motion_(motion), random_(random), course_(course) {}

  // One step of the fall: a step of the drop, or of the umbrella's float,
  // until the tick after the walker's top has reached the screen's bottom,
  // which ends the fall and lays a new course.
  void fallTick();

  // --- The fall's state, 0 until a fall begins.
  // Whether the drop's depth has been drawn for this fall.
  bool fallStarted() const { return fallStarted_; }
  // The straight drop's length still to come, in ticks; drawn when the fall
  // starts, 20 to 39.
  int dropTicksLeft() const { return dropTicksLeft_; }
  // The umbrella picture shown last, 0 before the umbrella opens.
  int fallFrame() const { return fallFrame_; }
  // Where the float loop stands with its last picture.
  FallHold fallHold() const { return fallHold_; }

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
  bool fallStarted_ = false;
  int dropTicksLeft_ = 0;
  int fallFrame_ = 0;
  FallHold fallHold_ = FallHold::None;
};

}  // namespace tw
