// The timer, the saver's four timers and the one loop that runs them: the
// earliest due timer ticks next, and timers due together tick in the order
// they are declared here. Virtual time runs every tick at its exact due time; real time
// runs each overdue timer once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "shell/virtual_time.h"

namespace tw {

// A periodic timer on the saver's virtual milliseconds. Enabling it, or
// writing its interval while it is enabled, starts a new count; the first tick
// comes one interval later. Interval 0 never ticks.
class Timer {
 public:
  Timer(const VirtualTime& time, bool enabled, int32_t interval)
      : time_(&time), enabled_(enabled), interval_(interval), due_(time.now() + interval) {}

  bool enabled() const { return enabled_; }
  void setEnabled(bool on) {
    enabled_ = on;
    if (on) due_ = time_->now() + interval_;
  }
  int32_t interval() const { return interval_; }
  void setInterval(int32_t ms) {
    interval_ = ms;
    if (enabled_) due_ = time_->now() + interval_;
  }

  bool running() const { return enabled_ && interval_ > 0; }
  int64_t due() const { return due_; }
  void setDue(int64_t due) { due_ = due; }

 private:
  const VirtualTime* time_;
  bool enabled_;
  int32_t interval_;
  int64_t due_;
};

// In tick order, for timers due at the same moment.
enum class TimerId { Walk, MessageTimeout, Fall, Wave };
inline constexpr std::array<TimerId, 4> kTimerIds = {TimerId::Walk, TimerId::MessageTimeout,
                                                     TimerId::Fall, TimerId::Wave};

struct Timers {
  explicit Timers(const VirtualTime& time);
  Timers(const Timers&) = delete;
  Timers& operator=(const Timers&) = delete;
  Timer& operator[](TimerId id) { return *byId_[static_cast<size_t>(id)]; }
  const Timer& operator[](TimerId id) const { return *byId_[static_cast<size_t>(id)]; }

  // Steps the walker along its course.
  static constexpr int32_t kWalkInterval = 100;
  Timer walkTimer;
  // Hides the message ten seconds after it was shown.
  static constexpr int32_t kMessageTimeout = 10000;
  Timer messageTimeout;
  // Drops the walker, then floats it down under its umbrella; the first fall
  // of a run starts at the walk's pace, and the fall sets its own from then on.
  static constexpr int32_t kFirstFallInterval = 100;
  Timer fallTimer;
  // Waves while the help is shown, at a pace set when the wave starts.
  static constexpr int32_t kWaveIntervalUnset = 0;
  Timer waveTimer;

 private:
  std::array<Timer*, kTimerIds.size()> byId_{&walkTimer, &messageTimeout, &fallTimer, &waveTimer};
};

// What a tick runs, and whether running is over for good.
class TickHandler {
 public:
  virtual void tick(TimerId id) = 0;
  virtual bool ended() const = 0;

 protected:
  ~TickHandler() = default;
};

class Scheduler {
 public:
  Scheduler(VirtualTime& time, Timers& timers) : time_(time), timers_(timers) {}

  // The next due time of any running timer.
  std::optional<int64_t> nextDue() const;
  // Virtual time: runs every tick due up to `ms`, each exactly at its due time.
  void advanceTo(int64_t ms, TickHandler& handler);
  // Real time: each overdue timer ticks once, however far the time has fallen
  // behind, and its next tick is kept in phase when it can be.
  void catchUp(int64_t ms, TickHandler& handler);

 private:
  enum class Drive { Virtual, RealTime };
  void runDue(int64_t limit, Drive drive, TickHandler& handler);

  VirtualTime& time_;
  Timers& timers_;
};

}  // namespace tw
