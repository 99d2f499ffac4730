// The launcher's sense of time.
#pragma once

#include <cstdint>

namespace tw::idle {

// Milliseconds on a clock that never goes back; read only when an event has
// come, never waited on.
class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  virtual std::int64_t nowMs() = 0;
};

}  // namespace tw::idle
