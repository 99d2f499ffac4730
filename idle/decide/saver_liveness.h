// Whether the running saver still answers: it writes a byte on its heartbeat
// pipe about once a second from its event loop, also while a message box is
// open, so a saver that is stopped, deadlocked or spinning outside its loop
// falls silent. Pure timing on the launcher's clock, so that a test steps
// through it; SaverProcess reads the pipe and acts on the verdicts.
#pragma once

#include <cstdint>
#include <optional>

namespace tw::idle {

// Silence this long ends a saver: a loaded machine may delay a beat by a
// few seconds, a hung saver never beats again. Before its first beat a saver
// is given longer, for a slow start (a cold cache, a sanitizer build).
inline constexpr std::int64_t kBeatWithinMs = 6000;
inline constexpr std::int64_t kFirstBeatWithinMs = 15'000;
// A saver asked to end that has not ended this long after is killed.
inline constexpr std::int64_t kKillAfterMs = 2000;

class SaverLiveness {
 public:
  enum class Verdict { Fine, Hung, Kill };

  void started(std::int64_t nowMs);
  void beat(std::int64_t nowMs);
  // The saver was asked to end (SIGTERM).
  void endAsked(std::int64_t nowMs);
  void ended();

  // When check() next has something to say; none while no saver runs (or
  // nothing is left to say of this one), so the loop then has no deadline.
  std::optional<std::int64_t> dueMs() const;
  // Hung once per run, when it fell silent; Kill once, when it did not end
  // after it was asked to.
  Verdict check(std::int64_t nowMs);
  // How long it has been silent.
  std::int64_t silentMs(std::int64_t nowMs) const { return nowMs - lastSignMs_; }

 private:
  bool running_ = false;
  bool beaten_ = false;
  bool hungSaid_ = false;
  bool endAsked_ = false;
  bool killed_ = false;
  std::int64_t lastSignMs_ = 0;
  std::int64_t endAskedAtMs_ = 0;
};

}  // namespace tw::idle
