// The test harness's one way into a core's parts. The program reaches a core
// only through its events; a test also stages a scenario (a walker about to
// reach the trench, a fall in its drop) and runs one handler at a time, and
// does it here, where the core and its subsystems let it in.
#pragma once

#include "app/core.h"

namespace tw::test {

class Stage {
 public:
  explicit Stage(Core& core) : core_(core) {}

  Scene& scene() { return core_.scene_; }
  Course& course() { return core_.course_; }
  Fall& fall() { return core_.fall_; }
  Wave& wave() { return core_.wave_; }
  Commands& commands() { return core_.commands_; }

  // The course's state, as no handler would set it from outside.
  void setWalk(Direction direction, int walkFrame) {
    course().direction_ = direction;
    course().walkFrame_ = walkFrame;
  }
  void setWalkFrame(int walkFrame) { course().walkFrame_ = walkFrame; }
  void setWalkedDistance(float twips) { course().walkedDistance_ = twips; }
  void setTrenchChance(TrenchChance chance) { course().trenchChance_ = chance; }
  void setFallsEnabled(bool enabled) { course().fallsEnabled_ = enabled; }
  // The fall's drop ticks still to come.
  void setDropTicksLeft(int ticks) { fall().dropTicksLeft_ = ticks; }

 private:
  Core& core_;
};

}  // namespace tw::test
