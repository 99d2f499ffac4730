#include "idle/decide/launcher.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tw::idle {
namespace {

constexpr const char* kWaitsAgain = "; waiting for the next idle period";
constexpr std::int64_t kMsPerSecond = 1000;

std::string seconds(std::int64_t ms) {
  constexpr std::int64_t kMsPerTenth = 100;
  const std::int64_t tenths = ms / kMsPerTenth;
  return std::to_string(tenths / (kMsPerSecond / kMsPerTenth)) + "." +
         std::to_string(tenths % (kMsPerSecond / kMsPerTenth)) + " s";
}

}  // namespace

std::string minutes(std::int64_t ms) {
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
  if (!enabled_) {
    effects_.report("trenchwalk-idle: switched off in the settings; not starting the saver" +
                    std::string(kWaitsAgain));
    state_ = LauncherState::Idle;
    return;
  }
  if (effects_.idleInhibited()) {
    effects_.report(
        std::string("trenchwalk-idle: the desktop inhibits idle; not starting the saver") +
        kWaitsAgain);
    state_ = LauncherState::Idle;
    return;
  }
  if (effects_.keyboardHeld()) {
    // A screen locker most likely; the same signal says when it lets go.
    effects_.report(
        "trenchwalk-idle: another program holds the keyboard (a screen locker?); not "
        "starting the saver until it lets go");
    locks_ |= bit(LockSignal::X11KeyboardGrab);
    state_ = LauncherState::Locked;
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
    case LauncherState::Locked:
      // Held back by a keyboard grab alone: its release may have gone
      // unseen (a grab not on the root window), so a new idle period asks
      // again.
      if (locks_ == bit(LockSignal::X11KeyboardGrab) && !effects_.keyboardHeld())
        lockChanged(LockSignal::X11KeyboardGrab, false);
      break;
    case LauncherState::SaverEnding:
      break;
  }
}

void Launcher::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled && idleWithNothingRunning()) effects_.restartIdlePeriod();
}

void Launcher::setDelayMs(std::uint32_t delayMs) {
  // The source counts the new delay from now, whatever the state.
  effects_.setIdleDelay(delayMs);
  idleWithNothingRunning();
}

// Idle with nothing running: waiting again, for a new idle period the caller
// has the source count from now. A running saver, a lock or an end under way
// restart the idle period themselves when they are over.
bool Launcher::idleWithNothingRunning() {
  switch (state_) {
    case LauncherState::Waiting:
    case LauncherState::Idle:
    case LauncherState::SaverEnded:
      state_ = LauncherState::Waiting;
      return true;
    case LauncherState::SaverRunning:
    case LauncherState::SaverEnding:
    case LauncherState::Locked:
      break;
  }
  return false;
}

void Launcher::sessionActive() {
  switch (state_) {
    case LauncherState::Waiting:
    // Keys typed into a locker, or while the saver is ended: the unlock, or
    // the end, restarts the idle period anyway.
    case LauncherState::SaverEnding:
    case LauncherState::Locked:
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

void Launcher::lockChanged(LockSignal signal, bool locked) {
  const unsigned before = locks_;
  if (locked)
    locks_ |= bit(signal);
  else
    locks_ &= ~bit(signal);
  if (before == 0 && locks_ != 0) sessionLocked();
  if (before != 0 && locks_ == 0) sessionUnlocked();
}

void Launcher::sessionLocked() {
  switch (state_) {
    case LauncherState::SaverRunning:
      // Under a lock nobody sees it: it ends now, with its record, as after a
      // key.
      endSaver(false);
      break;
    case LauncherState::Waiting:
    case LauncherState::Idle:
    case LauncherState::SaverEnded:
      state_ = LauncherState::Locked;
      break;
    case LauncherState::SaverEnding:
    case LauncherState::Locked:
      break;
  }
}

void Launcher::sessionUnlocked() {
  // While the saver is still ending, its end restarts the idle period.
  if (state_ != LauncherState::Locked) return;
  effects_.restartIdlePeriod();
  state_ = LauncherState::Waiting;
}

void Launcher::saverEnded(const SaverEnd& end) {
  if (state_ == LauncherState::SaverEnding) {
    // A saver ended for being hung was reported then, in its one line.
    if (!endingHung_) {
      const std::string line = describeEnd(end, clock_.nowMs() - startedAtMs_);
      if (!line.empty()) effects_.report(line);
    }
    endingHung_ = false;
    if (locks_ != 0) {
      state_ = LauncherState::Locked;
    } else {
      // Nobody pressed a key: the next saver comes after a whole new delay.
      effects_.restartIdlePeriod();
      state_ = LauncherState::Waiting;
    }
    return;
  }
  if (state_ != LauncherState::SaverRunning) return;
  const std::string line = describeEnd(end, clock_.nowMs() - startedAtMs_);
  if (!line.empty()) effects_.report(line);
  // The key that ended it is activity; the source may report it before or
  // after the end reaches us. Either way the next start needs a full idle
  // period after the end.
  state_ = activeDuringRun_ ? LauncherState::Waiting : LauncherState::SaverEnded;
}

void Launcher::saverHung(std::int64_t silentMs) {
  if (state_ != LauncherState::SaverRunning) return;
  effects_.report("trenchwalk-idle: the saver stopped answering (no sign of life for " +
                  seconds(silentMs) + "); ending it" + kWaitsAgain);
  endSaver(true);
}

void Launcher::endSaver(bool hung) {
  endingHung_ = hung;
  effects_.endSaver();
  state_ = LauncherState::SaverEnding;
}

SourceRetry Launcher::sourceLost(const std::string& what) {
  const std::int64_t now = clock_.nowMs();
  if (!sourceGone_) {
    sourceGone_ = true;
    sourceGoneAtMs_ = now;
    nextLookMs_ = kFirstLookAfterMs;
    effects_.report("trenchwalk-idle: the idle source went away (" + what +
                    "); looking for it again for " + seconds(kSourceGoneForMs));
  }
  const std::int64_t left = sourceGoneAtMs_ + kSourceGoneForMs - now;
  if (left <= 0) {
    effects_.report("trenchwalk-idle: no idle source came back (" + what +
                    "); the session has ended; leaving");
    return {false, 0};
  }
  const std::int64_t after = std::min(nextLookMs_, left);
  nextLookMs_ = std::min(nextLookMs_ * 2, kLongestLookAfterMs);
  return {true, after};
}

void Launcher::sourceFound(const std::string& description) {
  sourceGone_ = false;
  effects_.report("trenchwalk-idle: idle source back: " + description);
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

std::optional<std::int64_t> Launcher::lockDueAtMs() const {
  if (state_ != LauncherState::SaverRunning || lockAfterMs_ <= 0 || lockAsked_) return std::nullopt;
  return startedAtMs_ + lockAfterMs_;
}

bool Launcher::lockDue() {
  const std::optional<std::int64_t> due = lockDueAtMs();
  if (!due || clock_.nowMs() < *due) return false;
  lockAsked_ = true;
  lockPending_ = true;
  return true;
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
  if (state_ == LauncherState::SaverRunning) endSaver(false);
}

}  // namespace tw::idle
