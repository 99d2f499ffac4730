// Asks for the lock once the saver has run --lock-after minutes: the user's
// own locker when --locker names one, else the desktop's (GNOME's
// org.gnome.ScreenSaver.Lock, KDE's org.freedesktop.ScreenSaver.Lock, and
// elsewhere logind's LockSession, which xss-lock and swayidle turn into their
// locker). The answer is told to the launcher only once the lock is
// confirmed, or known not to have come: a locker command that exited 0 (one
// that forks once locked, as swaylock -f and i3lock do) or is still running
// after a moment (i3lock -n, swaylock); a desktop that says it is locked a
// moment after the call. Nothing here waits without a limit: the loop polls
// the locker's pidfd and one deadline, the call's answer comes through the
// bus, and each question asked on the way is a call with the bus's timeout.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/no_copy.h"
#include "idle/bus/bus.h"
#include "idle/loop/watched.h"

namespace tw::idle {

class Launcher;

class LockRequest : public Watched, private common::NoCopy {
 public:
  LockRequest(Buses& buses, Launcher& launcher, std::string locker)
      : buses_(buses), launcher_(launcher), locker_(std::move(locker)) {}
  ~LockRequest() override;

  // The locker for the next request (the settings file's); empty: the
  // desktop's own.
  void setLocker(std::string locker) { locker_ = std::move(locker); }

  // Starts a request; one already under way goes on instead.
  void start();

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  // Up: a locker command that is still running, the lock itself; watched
  // only so that it is reaped when it ends.
  enum class Way { None, Command, Up, Gnome, Desktop, Logind };
  static const char* wayName(Way way);
  void startCommand();
  bool startCall(Way way);
  void finish(bool locked, const std::string& how);
  void callAnswered(sd_bus_message* reply);
  bool desktopSaysLocked();
  // Whether the desktop owns the name, not the launcher itself (which
  // answers org.freedesktop.ScreenSaver where nobody else does).
  bool desktopOwns(const char* name);

  Buses& buses_;
  Launcher& launcher_;
  std::string locker_;
  Way way_ = Way::None;
  pid_t pid_ = -1;
  int pidFd_ = -1;
  BusSlot call_;
  bool called_ = false;  // the desktop accepted the call; now its word is awaited
  std::optional<std::uint64_t> deadlineUs_;
  std::string sessionPath_;
};

}  // namespace tw::idle
