// Asks for the lock once the saver has run --lock-after minutes: the user's
// own locker when --locker names one, else the desktop's (GNOME's
// org.gnome.ScreenSaver.Lock, KDE's org.freedesktop.ScreenSaver.Lock, and
// elsewhere logind's LockSession, which xss-lock and swayidle turn into their
// locker). The answer is told to the launcher only once the lock is
// confirmed, or known not to have come: a locker command that exited 0 (one
// that forks once locked, as swaylock -f and i3lock do) or is still running
// after a moment (i3lock -n, swaylock); a desktop that says it is locked a
// moment after the call. Nothing here waits: the loop polls the locker's
// pidfd, the bus and one deadline.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "idle/loop/watched.h"

struct sd_bus;
struct sd_bus_message;

namespace tw::idle {

class Launcher;

class LockRequest : public Watched {
 public:
  LockRequest(Launcher& launcher, std::string locker)
      : launcher_(launcher), locker_(std::move(locker)) {}
  ~LockRequest() override;
  LockRequest(const LockRequest&) = delete;
  LockRequest& operator=(const LockRequest&) = delete;

  // The launcher itself answers org.freedesktop.ScreenSaver, which then is
  // no desktop's locker.
  void launcherAnswersScreenSaver() { ownScreenSaver_ = true; }

  // The locker for the next request (the settings file's); empty: the
  // desktop's own.
  void setLocker(std::string locker) { locker_ = std::move(locker); }

  // Starts a request; one already under way goes on instead.
  void start();

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

  // For the bus's reply.
  void callAnswered(sd_bus_message* reply);

 private:
  // Up: a locker command that is still running, the lock itself; watched
  // only so that it is reaped when it ends.
  enum class Way { None, Command, Up, Gnome, Desktop, Logind };
  static const char* wayName(Way way);
  void startCommand();
  bool startCall(Way way);
  void finish(bool locked, const std::string& how);
  bool desktopSaysLocked();
  void closeBus();

  Launcher& launcher_;
  std::string locker_;
  Way way_ = Way::None;
  pid_t pid_ = -1;
  int pidFd_ = -1;
  sd_bus* bus_ = nullptr;
  bool called_ = false;  // the desktop accepted the call; now its word is awaited
  std::optional<std::uint64_t> deadlineUs_;
  std::string sessionPath_;
  bool ownScreenSaver_ = false;
};

}  // namespace tw::idle
