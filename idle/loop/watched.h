// What the event loop polls besides its signals: the idle source's
// connection and the others the launcher listens or answers on (a bus, the
// saver's heartbeat).
#pragma once

#include <cstdint>
#include <optional>

namespace tw::idle {

// What the loop waits for on the source's connection before the next poll.
struct PollRequest {
  int fd = -1;
  short events = 0;
  // An absolute CLOCK_MONOTONIC deadline in microseconds that the source's
  // library asked for (a D-Bus reply it awaits); none, no wake-up.
  std::optional<std::uint64_t> deadlineUs;
};

// One connection in the loop's poll. A request with fd -1 and no deadline
// asks for nothing this round (a watch with nothing to watch yet).
class Watched {
 public:
  virtual ~Watched() = default;
  // Flushes what is queued and says what to wait for; false when the
  // connection has closed.
  virtual bool prepare(PollRequest& request) = 0;
  // Reads and handles what the connection has after poll (revents 0 when
  // nothing came, or the deadline passed); false when the connection has
  // closed. Called after every poll, whatever woke it.
  virtual bool dispatch(short revents) = 0;
};

}  // namespace tw::idle
