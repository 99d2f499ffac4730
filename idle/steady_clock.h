// The launcher's clock: CLOCK_MONOTONIC, read when something happened.
#pragma once

#include <time.h>

#include <cstdint>

#include "idle/monotonic_clock.h"

namespace tw::idle {

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
