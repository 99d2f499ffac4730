// What trenchwalk-idle decides, apart from how it learns things: the session
// going idle and coming back, being locked or blanked and unlocked, the saver
// it started ending or no longer answering, and the idle source going away.
// No system calls: the effects and the clock come in through two interfaces,
// so a test drives every path with a fake of each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "idle/decide/idle_events.h"
#include "idle/decide/launcher_effects.h"
#include "idle/decide/monotonic_clock.h"

namespace tw::idle {

enum class LauncherState {
  Waiting,       // the user is active; the saver starts at the next idle period
  Idle,          // idle, but the saver did not start (the desktop inhibits idle, or it
                 // could not be started): waits for activity or a new idle period
  SaverRunning,  // the saver started by this launcher runs
  SaverEnded,    // the saver ended with no activity seen since it started: waits
                 // for activity, so that a saver that crashed is not started again
                 // until the user has come and gone
  SaverEnding,   // the saver was asked to end (a lock came, or it stopped answering)
                 // and has not ended yet
  Locked,        // the session is locked or blanked: nothing starts, and once it is
                 // unlocked the next start needs a whole new idle period
};

// Who says that the session is locked or its screen blanked. Each says so on
// its own; the session counts as locked while any of them does.
enum class LockSignal : unsigned {
  GnomeScreenSaver,        // org.gnome.ScreenSaver: GNOME Shell's lock and blank
  GnomeScreenShield,       // the same from the shell's own name, org.gnome.Shell.ScreenShield
  FreedesktopScreenSaver,  // org.freedesktop.ScreenSaver: KDE's locker
  LogindLockedHint,        // logind's LockedHint on the session
  X11KeyboardGrab,         // an X11 locker holding the keyboard
  // The screen gone dark: nobody sees a saver there, so it is a blank too.
  X11ScreenSaver,      // the X server's own screen saver is on (MIT-SCREEN-SAVER)
  X11Dpms,             // the X server's DPMS puts the monitor anywhere but on
  WaylandOutputPower,  // the compositor powered every output off (wlr-output-power-management)
  KdeDpms,             // KWin put every output anywhere but on (org_kde_kwin_dpms)
  MutterPowerSave,     // mutter's PowerSaveMode is anything but on
};

// How a saver process ended: its exit status, or the signal that ended it.
struct SaverEnd {
  bool signaled = false;
  int code = 0;
};

// An end within this long of the start, with a failure, is a saver that
// could not start (no display, a missing library) rather than one that ran.
inline constexpr std::int64_t kStartWindowMs = 3000;

// How long the launcher looks for its idle source again once it went away
// (GNOME Shell restarting on X11 takes a few seconds, a compositor
// restarted behind its socket less); after that the session is taken to be
// over. The first look comes soon, then less and less often.
inline constexpr std::int64_t kSourceGoneForMs = 20'000;
inline constexpr std::int64_t kFirstLookAfterMs = 250;
inline constexpr std::int64_t kLongestLookAfterMs = 4000;

// What to do once the idle source has gone: look again after a while, or
// leave.
struct SourceRetry {
  bool again = false;
  std::int64_t afterMs = 0;
};

class Launcher : public IdleEvents {
 public:
  // Asks for a lock once the saver has run lockAfterMs; 0, never.
  Launcher(LauncherEffects& effects, MonotonicClock& clock, std::int64_t lockAfterMs)
      : effects_(effects), clock_(clock), lockAfterMs_(lockAfterMs) {}

  // The idle source says the session has now been idle for the whole delay.
  void sessionIdle() override;
  // The idle source says the user is active again after an idle period.
  void sessionActive() override;
  // One of the desktop's signals says the session is locked or blanked, or
  // no longer.
  void lockChanged(LockSignal signal, bool locked);
  // The saver this launcher started has ended.
  void saverEnded(const SaverEnd& end);
  // The last inhibitor held through this launcher ended: a whole new idle
  // period must pass before the saver starts, input or not.
  void inhibitionEnded();

  // Switched off, it starts nothing and says so at each idle period;
  // switched on again, a whole new idle period counts from now.
  void setEnabled(bool enabled);
  // A new delay (the settings file's), a whole one counted from now; a
  // saver running meanwhile runs on.
  void setDelayMs(std::uint32_t delayMs);
  // Ask for a lock once the saver has run this long; 0, never.
  void setLockAfterMs(std::int64_t ms) { lockAfterMs_ = ms; }
  // When the lock is due, on the clock's scale; none when none is (no saver,
  // no lock after it, or already asked).
  std::optional<std::int64_t> lockDueAtMs() const;
  // The clock reached lockDueAtMs(): true when the lock is to be asked for
  // now. The answer comes later, through lockAnswered.
  bool lockDue();
  // What the desktop or the locker answered: locked, or not, and how.
  void lockAnswered(bool locked, const std::string& how);
  // The running saver has stopped answering for the given time.
  void saverHung(std::int64_t silentMs);
  // The idle source's connection closed (what it was, or why none was found
  // on the last look); says whether to look again, and when.
  SourceRetry sourceLost(const std::string& what);
  // A look found an idle source again.
  void sourceFound(const std::string& description);

  LauncherState state() const { return state_; }

 private:
  void tryStart();
  bool idleWithNothingRunning();
  void sessionLocked();
  void sessionUnlocked();
  // Asks the running saver to end; hung: it was said so already.
  void endSaver(bool hung);
  static unsigned bit(LockSignal signal) { return 1u << static_cast<unsigned>(signal); }

  LauncherEffects& effects_;
  MonotonicClock& clock_;
  LauncherState state_ = LauncherState::Waiting;
  bool enabled_ = true;
  bool activeDuringRun_ = false;
  bool endingHung_ = false;
  unsigned locks_ = 0;
  std::int64_t startedAtMs_ = 0;
  std::int64_t lockAfterMs_;
  bool lockAsked_ = false;
  bool lockPending_ = false;  // asked, the answer still to come
  bool sourceGone_ = false;
  std::int64_t sourceGoneAtMs_ = 0;
  std::int64_t nextLookMs_ = 0;
};

// Minutes and seconds, "12 min" or "1 min 30 s", for the lock's lines.
std::string minutes(std::int64_t ms);

// The line for a saver's end, empty for an ordinary end (status 0: a key, a
// click, or another copy already running).
std::string describeEnd(const SaverEnd& end, std::int64_t ranMs);

}  // namespace tw::idle
