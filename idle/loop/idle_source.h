// One way of learning that the session is idle, polled by the event loop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "idle/loop/watched.h"

namespace tw::idle {

class IdleSource : public Watched {
 public:
  IdleSource() = default;
  IdleSource(const IdleSource&) = delete;
  IdleSource& operator=(const IdleSource&) = delete;

  // Empty when the source works, else why it does not: a source is made
  // whole or not at all, and the caller tries the next.
  const std::string& failure() const { return failure_; }
  // Says which source it is and where, for the one start-up line.
  virtual std::string description() const = 0;
  // From now on, reports idle only once the session has had no input for a
  // whole new delay counted from this moment, even when the user has been
  // away all along (a lock that ended, a saver that was ended for us).
  virtual void restartIdlePeriod() = 0;
  // The delay is now delayMs, a whole one counted from this moment as
  // restartIdlePeriod counts it, and every idle period after it.
  virtual void setDelayMs(std::uint32_t delayMs) = 0;
  // How long the session has been idle, in milliseconds, where the source can
  // say; none where it cannot (the Wayland protocols tell only when the delay
  // has passed).
  virtual std::optional<std::int64_t> idleMs() { return std::nullopt; }

 protected:
  std::string failure_;
};

}  // namespace tw::idle
