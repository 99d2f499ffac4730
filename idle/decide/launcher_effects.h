// What the launcher does to the world, as its decisions see it.
#pragma once

#include <cstdint>
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
  // True when another program holds the keyboard, as an X11 screen locker
  // does (i3lock, xsecurelock, slock): a saver started now could not have
  // it. False where that cannot be asked.
  virtual bool keyboardHeld() = 0;
  virtual StartResult startSaver() = 0;
  // Asks the running saver to end as a key would end it (SIGTERM, and
  // SIGCONT so that a stopped one can); one that has not ended shortly after
  // is killed. The end comes back as Launcher::saverEnded.
  virtual void endSaver() = 0;
  // The idle source counts a whole new delay from now (IdleSource's).
  virtual void restartIdlePeriod() = 0;
  // The idle source's delay is now delayMs, a whole one counted from now.
  virtual void setIdleDelay(std::uint32_t delayMs) = 0;
  // One line for the user's log, without a trailing newline.
  virtual void report(const std::string& line) = 0;
};

}  // namespace tw::idle
