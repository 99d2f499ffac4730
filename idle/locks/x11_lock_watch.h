// An X11 screen locker, as far as the X server shows one: i3lock, xsecurelock
// and slock grab the keyboard on the root window for as long as they lock,
// and publish nothing else. So, just before each start, a grab of our own
// is tried: refused as AlreadyGrabbed means another program holds the
// keyboard, and the saver could not have it. While the saver runs, or while
// a locker is known to hold the keyboard, the root window's focus events are
// watched: a grab taken on the root shows there as focus with mode Grab
// (and is then confirmed by a grab test), its release as mode Ungrab. The
// test grab lasts one round trip and is only tried while the user is away,
// so it takes no key from them. Otherwise the watch selects nothing, and
// the server sends it nothing.
#pragma once

#include <cstdint>
#include <string>

#include "common/no_copy.h"
#include "idle/loop/watched.h"
#include "idle/decide/launcher.h"
#include "idle/saver/saver_process.h"
#include "idle/sources/xcb_connection.h"

namespace tw::idle {

class X11LockWatch : public Watched, private common::NoCopy {
 public:
  X11LockWatch(Launcher& launcher, const SaverProcess& saver);

  // False when no X server answers at DISPLAY.
  bool connected() const { return static_cast<bool>(x_); }

  // Tries a grab now; true when another program holds the keyboard. The
  // launcher then counts the session as locked until the watch sees the
  // grab go.
  bool keyboardHeld();
  // The saver has just started: a grab from now on ends it.
  void saverStarted() { watchFocus(true); }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  // Asks for the root window's focus events, or for none.
  void watchFocus(bool on);
  bool tryGrab();

  Launcher& launcher_;
  const SaverProcess& saver_;
  XcbConnection x_;
  std::uint32_t root_ = 0;
  bool watching_ = false;
  bool held_ = false;
};

}  // namespace tw::idle
