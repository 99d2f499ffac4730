// The launcher's pure part on a bench: a fake idle source, clock and
// effects, and a Machine that plays events at it one letter each. Shared by
// the tests of the decisions and of the parts that talk to the buses.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "idle/decide/launcher.h"
#include "idle/decide/saver_liveness.h"

namespace tw::idle {

class FakeIdleSource;

class FakeEffects : public LauncherEffects {
 public:
  bool inhibited = false;
  bool held = false;
  bool spawnFails = false;
  int starts = 0;
  int ends = 0;
  int restarts = 0;
  FakeIdleSource* source = nullptr;
  std::vector<std::string> reports;

  bool idleInhibited() override { return inhibited; }
  bool keyboardHeld() override { return held; }
  StartResult startSaver() override {
    if (spawnFails) return {false, "/opt/tw/trenchwalk: No such file or directory"};
    ++starts;
    return {true, {}};
  }
  void endSaver() override { ++ends; }
  void restartIdlePeriod() override;
  void setIdleDelay(std::uint32_t) override { restartIdlePeriod(); }
  void report(const std::string& line) override { reports.push_back(line); }
};

class FakeClock : public MonotonicClock {
 public:
  std::int64_t now = 1'000'000;
  std::int64_t nowMs() override { return now; }
};

// Stands for a desktop's idle notifications as the protocols define them:
// idle once per idle period, active once at the first input after it; a
// restart begins a new period, as if the source had just been made.
class FakeIdleSource {
 public:
  explicit FakeIdleSource(IdleEvents& events) : events_(events) {}
  void restart() { idle_ = false; }
  void goIdle() {
    ASSERT_FALSE(idle_) << "a source reports idle once per idle period";
    idle_ = true;
    events_.sessionIdle();
  }
  void input() {
    if (!idle_) return;
    idle_ = false;
    events_.sessionActive();
  }

 private:
  IdleEvents& events_;
  bool idle_ = false;
};

inline void FakeEffects::restartIdlePeriod() {
  ++restarts;
  if (source != nullptr) source->restart();
}

struct Machine {
  FakeEffects effects;
  FakeClock clock;
  Launcher launcher;
  FakeIdleSource source{launcher};
  int lockRequests = 0;

  explicit Machine(std::int64_t lockAfterMs = 0) : launcher(effects, clock, lockAfterMs) {
    effects.source = &source;
  }

  // One letter per event: I the session goes idle, A input, E the saver ends
  // with status 0, C it crashes (SIGSEGV), F it exits with status 1, Q it is
  // killed (SIGKILL), N the desktop inhibits idle, n it stops, S starting
  // fails, s starting works, T five seconds pass, L GNOME locks or blanks, U
  // it unlocks, W GNOME Shell's own name (its ScreenShield) says locked, w
  // unlocked, K logind's LockedHint is set, k cleared, G a locker holds
  // the keyboard (seen at the next start), g it lets go, r it lets go
  // unseen, H the saver has been silent for 6 s, R the last inhibitor held
  // through the launcher ends, M a minute passes and the loop's lock
  // deadline is checked, Y the desktop confirms the lock, X it does not, O
  // the settings switch it off, o on, D they give a new delay, B the X
  // server's screen saver goes on, b off, P DPMS turns the monitor off, p on.
  void play(const std::string& events) {
    constexpr std::int64_t kStepMs = 5000;
    constexpr std::int64_t kMinuteMs = 60'000;
    constexpr int kSegfault = 11;
    constexpr int kKill = 9;
    constexpr const char* kUnconfirmed =
        "logind's LockSession was accepted, but the desktop does not say it is locked";
    const std::map<char, std::function<void()>> steps = {
        {'I', [&] { source.goIdle(); }},
        {'A', [&] { source.input(); }},
        {'E', [&] { launcher.saverEnded({false, 0}); }},
        {'C', [&] { launcher.saverEnded({true, kSegfault}); }},
        {'F', [&] { launcher.saverEnded({false, 1}); }},
        {'Q', [&] { launcher.saverEnded({true, kKill}); }},
        {'N', [&] { effects.inhibited = true; }},
        {'n', [&] { effects.inhibited = false; }},
        {'S', [&] { effects.spawnFails = true; }},
        {'s', [&] { effects.spawnFails = false; }},
        {'T', [&] { clock.now += kStepMs; }},
        {'L', [&] { launcher.lockChanged(LockSignal::GnomeScreenSaver, true); }},
        {'U', [&] { launcher.lockChanged(LockSignal::GnomeScreenSaver, false); }},
        {'W', [&] { launcher.lockChanged(LockSignal::GnomeScreenShield, true); }},
        {'w', [&] { launcher.lockChanged(LockSignal::GnomeScreenShield, false); }},
        {'K', [&] { launcher.lockChanged(LockSignal::LogindLockedHint, true); }},
        {'k', [&] { launcher.lockChanged(LockSignal::LogindLockedHint, false); }},
        {'G', [&] { effects.held = true; }},
        {'g',
         [&] {
           effects.held = false;
           launcher.lockChanged(LockSignal::X11KeyboardGrab, false);
         }},
        {'r', [&] { effects.held = false; }},
        {'H', [&] { launcher.saverHung(kBeatWithinMs); }},
        {'R', [&] { effects.inhibited = false; launcher.inhibitionEnded(); }},
        {'M', [&] { clock.now += kMinuteMs; lockRequests += launcher.lockDue() ? 1 : 0; }},
        {'Y', [&] { launcher.lockAnswered(true, "\"i3lock -n\" is up"); }},
        {'X', [&] { launcher.lockAnswered(false, kUnconfirmed); }},
        {'O', [&] { launcher.setEnabled(false); }},
        {'o', [&] { launcher.setEnabled(true); }},
        {'D', [&] { launcher.setDelayMs(kMinuteMs); }},
        {'B', [&] { launcher.lockChanged(LockSignal::X11ScreenSaver, true); }},
        {'b', [&] { launcher.lockChanged(LockSignal::X11ScreenSaver, false); }},
        {'P', [&] { launcher.lockChanged(LockSignal::X11Dpms, true); }},
        {'p', [&] { launcher.lockChanged(LockSignal::X11Dpms, false); }},
    };
    for (const char event : events) {
      const auto step = steps.find(event);
      ASSERT_NE(step, steps.end()) << "unknown event " << event;
      step->second();
    }
  }
};

}  // namespace tw::idle
