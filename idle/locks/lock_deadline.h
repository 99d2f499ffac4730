// The one deadline of --lock-after, in the loop's poll: it asks for a
// wake-up only while the saver runs and the lock is still to be asked for,
// so a launcher that waits has no timer at all; once the launcher says the
// lock is due, the request starts.
#pragma once

#include <cstdint>
#include <optional>

#include "idle/decide/launcher.h"
#include "idle/locks/lock_request.h"
#include "idle/loop/steady_clock.h"
#include "idle/loop/watched.h"

namespace tw::idle {

class LockDeadline : public Watched {
 public:
  LockDeadline(Launcher& launcher, LockRequest& request) : launcher_(launcher), request_(request) {}

  bool prepare(PollRequest& request) override {
    if (const std::optional<std::int64_t> dueMs = launcher_.lockDueAtMs())
      request.deadlineUs = usFromMs(*dueMs);
    return true;
  }
  bool dispatch(short) override {
    if (launcher_.lockDue()) request_.start();
    return true;
  }

 private:
  Launcher& launcher_;
  LockRequest& request_;
};

}  // namespace tw::idle
