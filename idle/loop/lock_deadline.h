// The one deadline of --lock-after, in the loop's poll: it asks for a
// wake-up only while the saver runs and the lock is still to be asked for,
// so a launcher that waits has no timer at all.
#pragma once

#include <cstdint>

#include "idle/loop/watched.h"
#include "idle/decide/launcher.h"

namespace tw::idle {

class LockDeadline : public Watched {
 public:
  explicit LockDeadline(Launcher& launcher) : launcher_(launcher) {}

  bool prepare(PollRequest& request) override {
    const std::int64_t dueMs = launcher_.lockDueAtMs();
    // The launcher's clock is CLOCK_MONOTONIC in milliseconds.
    constexpr std::uint64_t kUsPerMs = 1000;
    if (dueMs != Launcher::kNoLockDue) request.deadlineUs = static_cast<std::uint64_t>(dueMs) * kUsPerMs;
    return true;
  }
  bool dispatch(short) override {
    if (launcher_.lockDueAtMs() != Launcher::kNoLockDue) launcher_.lockDue();
    return true;
  }

 private:
  Launcher& launcher_;
};

}  // namespace tw::idle
