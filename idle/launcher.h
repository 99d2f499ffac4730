// What trenchwalk-idle decides, apart from how it learns things: the session
// going idle and coming back, and the saver it started ending. No system
// calls: the effects and the clock come in through two interfaces,
// so a test drives every path with a fake of each.
#pragma once

#include <cstdint>
#include <string>

#include "idle/idle_events.h"
#include "idle/launcher_effects.h"
#include "idle/monotonic_clock.h"

namespace tw::idle {

enum class LauncherState {
  Waiting,       // the user is active; the saver starts at the next idle period
  Idle,          // idle, but the saver did not start (the desktop inhibits idle, or it
                 // could not be started): waits for activity or a new idle period
  SaverRunning,  // the saver started by this launcher runs
  SaverEnded,    // the saver ended with no activity seen since it started: waits
                 // for activity, so that a saver that crashed is not started again
                 // until the user has come and gone
};

// How a saver process ended: its exit status, or the signal that ended it.
struct SaverEnd {
  bool signaled = false;
  int code = 0;
};

// An end within this long of the start, with a failure, is a saver that
// could not start (no display, a missing library) rather than one that ran.
inline constexpr std::int64_t kStartWindowMs = 3000;

class Launcher : public IdleEvents {
 public:
  Launcher(LauncherEffects& effects, MonotonicClock& clock) : effects_(effects), clock_(clock) {}

  // The idle source says the session has now been idle for the whole delay.
  void sessionIdle() override;
  // The idle source says the user is active again after an idle period.
  void sessionActive() override;
  // The saver this launcher started has ended.
  void saverEnded(const SaverEnd& end);
  // The last inhibitor held through this launcher ended: a whole new idle
  // period must pass before the saver starts, input or not.
  void inhibitionEnded();

  // Ask for a lock once the saver has run this long; 0, never.
  void setLockAfterMs(std::int64_t ms) { lockAfterMs_ = ms; }
  // When the lock is due, on the clock's scale; kNoLockDue when none is
  // (no saver, no --lock-after, or already asked).
  static constexpr std::int64_t kNoLockDue = -1;
  std::int64_t lockDueAtMs() const;
  // The clock reached lockDueAtMs().
  void lockDue();
  // What the desktop or the locker answered: locked, or not, and how.
  void lockAnswered(bool locked, const std::string& how);

  LauncherState state() const { return state_; }

 private:
  void tryStart();

  LauncherEffects& effects_;
  MonotonicClock& clock_;
  LauncherState state_ = LauncherState::Waiting;
  bool activeDuringRun_ = false;
  std::int64_t startedAtMs_ = 0;
  std::int64_t lockAfterMs_ = 0;
  bool lockAsked_ = false;
  bool lockPending_ = false;  // asked, the answer still to come
};

// Minutes and seconds, "12 min" or "1 min 30 s", for the lock's lines.
std::string minutes(std::int64_t ms);

// The line for a saver's end, empty for an ordinary end (status 0: a key, a
// click, or another copy already running).
std::string describeEnd(const SaverEnd& end, std::int64_t ranMs);

}  // namespace tw::idle
