// One way of learning that the session is idle, polled by the event loop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/no_copy.h"
#include "idle/decide/idle_events.h"
#include "idle/loop/watched.h"

namespace tw::idle {

class IdleSource : public Watched, private common::NoCopy {
 public:
  // Empty when the source works, else why it does not: a source is made
  // whole or not at all, and the caller tries the next.
  const std::string& failure() const { return failure_; }
  // Says which source it is and where, for the one start-up line.
  const std::string& description() const { return description_; }
  // From now on, reports idle only once the session has had no input for a
  // whole new delay counted from this moment, even when the user has been
  // away all along (a lock that ended, a saver that was ended for us).
  virtual void restartIdlePeriod() = 0;
  // The delay is now delayMs, a whole one counted from this moment as
  // restartIdlePeriod counts it, and every idle period after it.
  void setDelayMs(std::uint32_t delayMs) {
    delayMs_ = delayMs;
    watchDelay();
    restartIdlePeriod();
  }
  // How long the session has been idle, in milliseconds, where the source can
  // say; none where it cannot (the Wayland protocols tell only when the delay
  // has passed).
  virtual std::optional<std::int64_t> idleMs() { return std::nullopt; }

 protected:
  IdleSource(std::uint32_t delayMs, IdleEvents& events) : events_(events), delayMs_(delayMs) {}
  // A source that keeps a standing watch for the delay makes it again for
  // delayMs_; one whose restart asks anew for the whole delay has nothing to do.
  virtual void watchDelay() {}

  IdleEvents& events_;
  std::uint32_t delayMs_;
  std::string description_;
  std::string failure_;
};

}  // namespace tw::idle
