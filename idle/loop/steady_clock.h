// The launcher's clock: CLOCK_MONOTONIC, read when something happened, in
// milliseconds for the launcher's decisions and in microseconds for the
// deadlines the loop's poll waits for.
#pragma once

#include <time.h>

#include <cstdint>

#include "idle/decide/monotonic_clock.h"

namespace tw::idle {

inline constexpr std::uint64_t kUsPerMs = 1000;

// A time on the launcher's clock, in the poll's microseconds.
inline std::uint64_t usFromMs(std::int64_t ms) { return static_cast<std::uint64_t>(ms) * kUsPerMs; }

inline std::uint64_t monotonicNowUs() {
  constexpr std::uint64_t kUsPerSecond = 1'000'000;
  constexpr std::uint64_t kNsPerUs = 1000;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * kUsPerSecond +
         static_cast<std::uint64_t>(now.tv_nsec) / kNsPerUs;
}

class SteadyClock : public MonotonicClock {
 public:
  std::int64_t nowMs() override {
    constexpr std::int64_t kMsPerSecond = 1000;
    constexpr std::int64_t kNsPerMs = 1'000'000;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * kMsPerSecond + now.tv_nsec / kNsPerMs;
  }
};

}  // namespace tw::idle
