// What the launcher does to the world, as its decisions see it.
#pragma once

#include <string>

namespace tw::idle {

// The outcome of trying to start the saver: on failure, why.
struct StartResult {
  bool started = false;
  std::string error;
};

// What the launcher does to the world.
class LauncherEffects {
 public:
  virtual ~LauncherEffects() = default;
  // True when the desktop says idle is inhibited (a film, a presentation).
  virtual bool idleInhibited() = 0;
  virtual StartResult startSaver() = 0;
  // One line for the user's log, without a trailing newline.
  virtual void report(const std::string& line) = 0;
};

}  // namespace tw::idle
