// The heartbeat: a private channel from the idle launcher, which ends a saver
// that has stopped answering (stopped, deadlocked, spinning outside its event
// loop) so that it never locks anyone out. The launcher hands the saver the
// write end of a pipe, named by common::kHeartbeatVariable; the saver writes
// one byte to it about once a second from its event loop. Started any other way,
// the saver has no heartbeat and nothing changes.
#pragma once

#include <cstdint>
#include <optional>

#include "common/heartbeat.h"
#include "common/no_copy.h"

namespace tw::platform {

// About this often a byte goes to the launcher.
inline constexpr int64_t kHeartbeatIntervalMs = 1000;

// The descriptor a value of the heartbeat's variable names: decimal digits
// alone, above the standard descriptors (never stdin, stdout or stderr).
std::optional<int> heartbeatDescriptorNamed(const char* value);

// Takes the heartbeat's descriptor from the environment: removes the variable
// (call it before any thread starts), and when it names the write end of a
// pipe, makes that descriptor close-on-exec and non-blocking, so programs the
// saver starts inherit neither, and gives it; else -1, and a descriptor that
// is anything else is left as it is.
int takeHeartbeatDescriptor();

class Heartbeat : private common::NoCopy {
 public:
  // `fd`, the pipe's write end, is the heartbeat's from now on; -1: none.
  explicit Heartbeat(int fd = -1) : fd_(fd) {}
  ~Heartbeat();

  bool beating() const { return fd_ >= 0; }
  // Writes one byte when `nowMs` (any steady clock) is at least the interval
  // after the last beat, or when none was written yet. Never blocks: a full
  // pipe skips the beat; a pipe whose reader has gone, or a descriptor that
  // is no longer open, ends the heartbeat.
  void beat(int64_t nowMs);

 private:
  int fd_;
  std::optional<int64_t> last_;
};

}  // namespace tw::platform
