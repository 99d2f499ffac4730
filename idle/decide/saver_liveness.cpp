#include "idle/decide/saver_liveness.h"

#include <algorithm>

namespace tw::idle {

void SaverLiveness::started(std::int64_t nowMs) {
  *this = SaverLiveness{};
  running_ = true;
  lastSignMs_ = nowMs;
}

void SaverLiveness::beat(std::int64_t nowMs) {
  if (!running_) return;
  beaten_ = true;
  lastSignMs_ = nowMs;
}

void SaverLiveness::endAsked(std::int64_t nowMs) {
  if (!running_ || endAsked_) return;
  endAsked_ = true;
  endAskedAtMs_ = nowMs;
}

void SaverLiveness::ended() { *this = SaverLiveness{}; }

std::optional<std::int64_t> SaverLiveness::dueMs() const {
  if (!running_) return std::nullopt;
  if (endAsked_) {
    if (killed_) return std::nullopt;
    return endAskedAtMs_ + kKillAfterMs;
  }
  if (hungSaid_) return std::nullopt;
  return lastSignMs_ + (beaten_ ? kBeatWithinMs : kFirstBeatWithinMs);
}

SaverLiveness::Verdict SaverLiveness::check(std::int64_t nowMs) {
  const std::optional<std::int64_t> due = dueMs();
  if (!due || nowMs < *due) return Verdict::Fine;
  if (endAsked_) {
    killed_ = true;
    return Verdict::Kill;
  }
  hungSaid_ = true;
  return Verdict::Hung;
}

}  // namespace tw::idle
