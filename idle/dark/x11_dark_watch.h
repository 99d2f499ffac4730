// An X server's screen gone dark: its own screen saver on (MIT-SCREEN-SAVER,
// which `xset s` sets and `xset s activate` starts), or DPMS putting the
// monitor in standby, suspend or off. Both are heard rather than polled where
// the server can say them: the screen saver's notify events, and DPMS 1.2's
// info events (through the Generic Event extension). A server with an older
// DPMS is asked for its power level only at wake-ups the launcher has anyway
// while the saver runs (its heartbeat), at most once a second; while the
// launcher waits, it adds none. On its own connection, so that its events
// never mix with the lock watch's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/no_copy.h"
#include "idle/decide/launcher.h"
#include "idle/loop/watched.h"
#include "idle/saver/saver_process.h"
#include "idle/sources/xcb_connection.h"

namespace tw::idle {

class X11DarkWatch : public Watched, private common::NoCopy {
 public:
  // Tells the launcher, when there is one, whenever the screen goes dark or
  // comes back, starting with how it is now; --status passes none.
  X11DarkWatch(Launcher* launcher, const SaverProcess* saver);

  // False when no X server answers at DISPLAY, or it has neither extension.
  bool connected() const { return static_cast<bool>(x_); }
  // Who says the screen is dark now, or empty.
  std::string darkBy() const;
  // What it listens to, for --status: "MIT-SCREEN-SAVER, DPMS 1.2 events".
  std::string listensTo() const;

  // The connection is about to go with the source it came with: what it
  // said dark no longer holds.
  void letGo() {
    setDark(LockSignal::X11ScreenSaver, screenSaverOn_, false);
    setDark(LockSignal::X11Dpms, monitorOff_, false);
  }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  void setDark(LockSignal signal, bool& now, bool dark);
  // The DPMS 1.2 request that asks for its info events (xcb 1.15 lacks it).
  void selectDpmsEvents();
  // Sends a DPMSInfo query, or reads its answer, without waiting.
  void askDpms();
  void readDpms();

  Launcher* launcher_;
  const SaverProcess* saver_;
  XcbConnection x_;
  std::uint8_t screenSaverEvent_ = 0;  // the extension's first event code; 0 without it
  std::uint8_t dpmsOpcode_ = 0;        // DPMS's major opcode; 0 without it
  bool dpmsEvents_ = false;
  std::optional<unsigned> dpmsQuery_;  // the sequence of a DPMSInfo not yet answered
  std::uint64_t dpmsAskedAtUs_ = 0;
  bool screenSaverOn_ = false;
  bool monitorOff_ = false;
};

}  // namespace tw::idle
