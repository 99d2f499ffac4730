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
  // From now on, report idle only after a whole new delay.
  virtual void restartIdlePeriod() = 0;
  // Asks the desktop (or the user's locker) to lock the session; the answer
  // comes later, through Launcher::lockAnswered.
  virtual void requestLock() = 0;
  // Ends the running saver the way a key does (it keeps its record).
  virtual void endSaver() = 0;
};

}  // namespace tw::idle
