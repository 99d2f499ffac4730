// The saver's own time: virtual milliseconds since the start of the run. The
// scheduler moves it; whoever runs the core owns it, so a stand-in machine
// (tests, the documentation renders) can tell the time of day from it
// without holding the core.
#pragma once

#include <cstdint>

#include "shell/services.h"

namespace tw {

inline constexpr int64_t kMsPerDay = 24LL * 3600 * 1000;

class VirtualTime {
 public:
  int64_t now() const { return now_; }
  void set(int64_t ms) { now_ = ms; }

 private:
  int64_t now_ = 0;
};

// A wall clock that runs on the virtual time from a fixed time of day on 8
// December 2026, for machines that must show the same time on every run.
class VirtualWallClock {
 public:
  VirtualWallClock(const VirtualTime& time, int64_t startMsSinceMidnight)
      : time_(time), startMs_(startMsSinceMidnight) {}

  // Moves the time of day, not the saver's own time (tests lay many courses
  // at one virtual moment from many times of day).
  void shift(int64_t ms) { shiftMs_ = ms; }
  LocalTime localTime() const {
    const int64_t ms = startMs_ + time_.now() + shiftMs_;
    const int64_t dayMs = ms % kMsPerDay;
    return LocalTime{2026,
                     12,
                     8 + static_cast<int>(ms / kMsPerDay),
                     static_cast<int>(dayMs / 3600000),
                     static_cast<int>(dayMs / 60000 % 60),
                     static_cast<int>(dayMs / 1000 % 60),
                     static_cast<int>(dayMs % 1000)};
  }

 private:
  const VirtualTime& time_;
  int64_t startMs_;
  int64_t shiftMs_ = 0;
};

}  // namespace tw
