// Course and walk: where the lane and the readout lie, which way the walker
// goes, whether a trench opens on the way, and the walk tick that steps the
// walker, counts the distance and hands over to the fall at the trench.
#pragma once

#include <cstdint>

#include "shell/random.h"
#include "shell/runtime.h"
#include "shell/scene.h"
#include "shell/services.h"
#include "walk/motion.h"

namespace tw {
namespace test {
class Stage;
}  // namespace test

// Values as the digests and the walk's own tests count them.
enum class Direction { Leftward = 1, Rightward = 2 };

// Whether the course may open a trench. A leftward course opens one whenever
// trenches are on; a rightward one only when its draw said so.
enum class TrenchChance {
  // Between the end of a fall and the next course's draw, and before the first.
  NotDrawn,
  Opens,
  DoesNotOpen,
};

// What a draw of 1 to 100 means for the coming course: 1 and every even draw,
// about half of them, let it open a trench.
constexpr TrenchChance trenchChanceOfDraw(int draw) {
  return draw == 1 || draw % 2 == 0 ? TrenchChance::Opens : TrenchChance::DoesNotOpen;
}

class Course {
 public:
  Course(Services& services, Scene& scene, Motion& motion, Random& random)
      : services_(services), scene_(scene), motion_(motion), random_(random) {}

  // Draws a new course: direction, trench chance, the walker at its starting
  // edge, the lane and readout at new places. Any run-time error ends it
  // quietly, leaving what it had already placed.
  void setUpCourse();
  // Draws whether the coming rightward course may open a trench.
  void rollTrenchChance();
  // One step, every 100 ms while walking: the walker moves 70 twips with its
  // next picture, the distance and the clock are refreshed, the warning and
  // the trench open ahead of a trench's edge, the fall begins at it, and past
  // the far edge a new course is laid.
  void walkTick();
  // Opens the trench in the lane ahead of the walker.
  void openTrench();
  // The walker has reached the trench: the walk stops and the fall begins.
  void startFall();
  // A fall has ended: the trench is forgotten and a new course laid.
  void restartAfterFall();
  // Trenches open from the start of a run; D turns them off and on again.
  void enableFalls() { fallsEnabled_ = true; }
  // Returns whether trenches are now on.
  bool toggleFalls();

  // --- The walk's state, 0 until the saver starts.
  Direction direction() const { return direction_; }
  // The walk picture shown last: 0 to 4 leftward, 4 to 8 rightward.
  int walkFrame() const { return walkFrame_; }
  // Twips walked, summed in single precision: the figure shown is made from
  // that sum, its rounding included.
  float walkedDistance() const { return walkedDistance_; }
  TrenchChance trenchChance() const { return trenchChance_; }
  // The walker's top on the lane; 32 bits, so lanes on very tall screens fit.
  int32_t walkerTop() const { return walkerTop_; }
  // Whether trenches open; D turns them off and on.
  bool fallsEnabled() const { return fallsEnabled_; }

 private:
  // Tests stage courses (a walker about to reach the trench) through it.
  friend class test::Stage;

  void placeByDraw(int32_t smallest, float span, float margin, void (Course::*lay)(int32_t),
                   bool (Course::*accepted)() const);
  void layLane(int32_t y);
  void layReadout(int32_t x);
  bool laneAccepted() const;
  bool readoutAccepted() const;
  void walkLeftward();
  void walkRightward();
  void warnOfTrench();
  void showDistance();

  Services& services_;
  Scene& scene_;
  Motion& motion_;
  Random& random_;
  Direction direction_{};
  int walkFrame_ = 0;
  float walkedDistance_ = 0;
  TrenchChance trenchChance_ = TrenchChance::NotDrawn;
  int32_t walkerTop_ = 0;
  bool fallsEnabled_ = false;
};

}  // namespace tw
