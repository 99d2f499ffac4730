// One way of learning that the session is idle, seen from the event loop: a
// connection to poll and a name for the start-up line.
#pragma once

#include <cstdint>
#include <string>

namespace tw::idle {

// What the loop waits for on the source's connection before the next poll.
struct PollRequest {
  int fd = -1;
  short events = 0;
  // An absolute CLOCK_MONOTONIC deadline in microseconds that the source's
  // library asked for (a D-Bus reply it awaits), or kNoDeadline.
  std::uint64_t deadlineUs = kNoDeadline;
  static constexpr std::uint64_t kNoDeadline = UINT64_MAX;
};

class IdleSource {
 public:
  virtual ~IdleSource() = default;
  // Says which source it is and where, for the one start-up line.
  virtual std::string description() const = 0;
  // Flushes what is queued and says what to wait for; false when the
  // connection has closed.
  virtual bool prepare(PollRequest& request) = 0;
  // Reads and handles what the connection has after poll (revents 0 when the
  // deadline passed); false when the connection has closed.
  virtual bool dispatch(short revents) = 0;
};

}  // namespace tw::idle
