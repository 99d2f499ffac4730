#include "idle/launcher.h"

#include <cstring>
#include <string>

namespace tw::idle {
namespace {

constexpr const char* kWaitsAgain = "; waiting for the next idle period";

std::string seconds(std::int64_t ms) {
  constexpr std::int64_t kMsPerSecond = 1000;
  constexpr std::int64_t kMsPerTenth = 100;
  const std::int64_t tenths = ms / kMsPerTenth;
  return std::to_string(tenths / (kMsPerSecond / kMsPerTenth)) + "." +
         std::to_string(tenths % (kMsPerSecond / kMsPerTenth)) + " s";
}

}  // namespace

std::string minutes(std::int64_t ms) {
  constexpr std::int64_t kMsPerSecond = 1000;
  constexpr std::int64_t kSecondsPerMinute = 60;
  const std::int64_t total = ms / kMsPerSecond;
  std::string text = std::to_string(total / kSecondsPerMinute) + " min";
  if (total % kSecondsPerMinute != 0) text += " " + std::to_string(total % kSecondsPerMinute) + " s";
  return text;
}

std::string describeEnd(const SaverEnd& end, std::int64_t ranMs) {
  if (!end.signaled && end.code == 0) return {};
  std::string line = "trenchwalk-idle: the saver ";
  if (end.signaled) {
    const char* name = ::sigabbrev_np(end.code);
    line += "was killed by signal " + std::to_string(end.code) +
            (name != nullptr ? std::string(" (SIG") + name + ")" : std::string()) + " after " +
            seconds(ranMs);
  } else if (ranMs < kStartWindowMs) {
    line += "failed to start (exit status " + std::to_string(end.code) + ")";
  } else {
    line += "ended with exit status " + std::to_string(end.code) + " after " + seconds(ranMs);
  }
  return line + kWaitsAgain;
}

void Launcher::tryStart() {
  if (effects_.idleInhibited()) {
    effects_.report(
        std::string("trenchwalk-idle: the desktop inhibits idle; not starting the saver") +
        kWaitsAgain);
    state_ = LauncherState::Idle;
    return;
  }
  const StartResult result = effects_.startSaver();
  if (!result.started) {
    effects_.report("trenchwalk-idle: cannot start the saver: " + result.error + kWaitsAgain);
    state_ = LauncherState::Idle;
    return;
  }
  startedAtMs_ = clock_.nowMs();
  activeDuringRun_ = false;
  lockAsked_ = false;
  state_ = LauncherState::SaverRunning;
}

void Launcher::sessionIdle() {
  switch (state_) {
    case LauncherState::Waiting:
    // The source reports idle again only after a new full idle period, so
    // these two start it as Waiting does.
    case LauncherState::Idle:
    case LauncherState::SaverEnded:
      tryStart();
      break;
    case LauncherState::SaverRunning:
      // Active and idle again while the saver runs: nothing to start, and the
      // activity no longer counts, since the session is idle again.
      activeDuringRun_ = false;
      break;
  }
}

void Launcher::sessionActive() {
  switch (state_) {
    case LauncherState::Waiting:
      break;
    case LauncherState::Idle:
    case LauncherState::SaverEnded:
      state_ = LauncherState::Waiting;
      break;
    case LauncherState::SaverRunning:
      activeDuringRun_ = true;
      break;
  }
}

void Launcher::saverEnded(const SaverEnd& end) {
  if (state_ != LauncherState::SaverRunning) return;
  const std::string line = describeEnd(end, clock_.nowMs() - startedAtMs_);
  if (!line.empty()) effects_.report(line);
  // The key that ended it is activity; the source may report it before or
  // after the end reaches us. Either way the next start needs a full idle
  // period after the end.
  state_ = activeDuringRun_ ? LauncherState::Waiting : LauncherState::SaverEnded;
}

}  // namespace tw::idle

namespace tw::idle {

void Launcher::inhibitionEnded() {
  // While the saver runs it was started before the inhibitor came; its own
  // end starts the next wait.
  if (state_ == LauncherState::SaverRunning) return;
  // Held back until now, or not: the source's next idle report, a whole
  // delay from now, starts the saver without any input in between.
  effects_.restartIdlePeriod();
}

std::int64_t Launcher::lockDueAtMs() const {
  if (state_ != LauncherState::SaverRunning || lockAfterMs_ <= 0 || lockAsked_) return kNoLockDue;
  return startedAtMs_ + lockAfterMs_;
}

void Launcher::lockDue() {
  const std::int64_t due = lockDueAtMs();
  if (due == kNoLockDue || clock_.nowMs() < due) return;
  lockAsked_ = true;
  lockPending_ = true;
  effects_.requestLock();
}

void Launcher::lockAnswered(bool locked, const std::string& how) {
  if (!lockPending_) return;
  lockPending_ = false;
  if (!locked) {
    effects_.report("trenchwalk-idle: the lock after " + minutes(lockAfterMs_) +
                    " did not come: " + how +
                    (state_ == LauncherState::SaverRunning ? "; the saver goes on" : ""));
    return;
  }
  effects_.report("trenchwalk-idle: locked the session after " + minutes(lockAfterMs_) +
                  " of the saver (" + how + ")");
  // The lock is up over the saver: the saver ends under it, with its record,
  // so that the user finds the desktop, not the saver, after unlocking.
  if (state_ == LauncherState::SaverRunning) effects_.endSaver();
}

}  // namespace tw::idle
