#include "idle/locks/lock_request.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "idle/loop/child_signals.h"
#include "idle/decide/launcher.h"
#include "idle/loop/steady_clock.h"

extern char** environ;

namespace tw::idle {
namespace {

// How long a locker command is given to fail before a running one counts as
// the lock (i3lock -n gives up on a keyboard it cannot grab within a second).
constexpr std::uint64_t kLockerSettleUs = 2'000'000;
// How long the desktop is given, after accepting the call, to say it is
// locked (GNOME's shield takes a moment to come up).
constexpr std::uint64_t kDesktopConfirmUs = 3'000'000;
// GNOME Shell answers Lock only once its lock screen is up, which in
// software rendering on a busy machine took over 5 s; the call is waited for
// in the loop, never blocking it.
constexpr std::uint64_t kCallTimeoutUs = 20'000'000;

bool hasOwner(sd_bus* bus, const char* name) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int present = 0;
  const bool owned = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                        "org.freedesktop.DBus", "NameHasOwner", &error, &reply,
                                        "s", name) >= 0 &&
                     sd_bus_message_read(reply, "b", &present) >= 0 && present != 0;
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return owned;
}

int onReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  static_cast<LockRequest*>(data)->callAnswered(reply);
  return 0;
}

}  // namespace

const char* LockRequest::wayName(Way way) {
  switch (way) {
    case Way::Gnome:
      return "org.gnome.ScreenSaver.Lock";
    case Way::Desktop:
      return "org.freedesktop.ScreenSaver.Lock";
    case Way::Logind:
      return "logind's LockSession";
    default:
      return "the locker";
  }
}

LockRequest::~LockRequest() {
  if (pidFd_ >= 0) ::close(pidFd_);
  closeBus();
}

void LockRequest::closeBus() {
  sd_bus_flush_close_unref(bus_);
  bus_ = nullptr;
}

void LockRequest::start() {
  if (way_ != Way::None && way_ != Way::Up) return;
  if (way_ == Way::Up) {
    // The last lock's locker still runs: the session is locked already.
    launcher_.lockAnswered(true, "\"" + locker_ + "\" is up already");
    return;
  }
  if (!locker_.empty()) {
    startCommand();
    return;
  }
  if (sd_bus_open_user(&bus_) >= 0) {
    // GNOME Shell 43 answers org.gnome.ScreenSaver from a small service the
    // bus starts at the first call, so a running shell is enough: the Lock
    // call starts it.
    if ((hasOwner(bus_, "org.gnome.ScreenSaver") || hasOwner(bus_, "org.gnome.Shell")) &&
        startCall(Way::Gnome))
      return;
    // KDE's own, unless it is the launcher that answers for the name.
    if (!ownScreenSaver_ && hasOwner(bus_, "org.freedesktop.ScreenSaver") &&
        startCall(Way::Desktop))
      return;
  } else {
    bus_ = nullptr;
  }
  closeBus();
  if (sd_bus_open_system(&bus_) < 0) {
    bus_ = nullptr;
    launcher_.lockAnswered(false, "no desktop locker and no system bus for logind; give --locker");
    return;
  }
  if (!startCall(Way::Logind)) {
    closeBus();
    if (way_ == Way::None)
      launcher_.lockAnswered(false, "no desktop locker, and logind cannot be asked; give --locker");
  }
}

void LockRequest::startCommand() {
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    launcher_.lockAnswered(false, "no memory to start the locker");
    return;
  }
  // The locker gets the signals back that the launcher blocks, in a process
  // group of its own, so that a key's end of the saver never reaches it.
  posix_spawnattr_setpgroup(&attributes, 0);
  giveChildTheDefaultSignals(attributes, POSIX_SPAWN_SETPGROUP);
  std::string shell = "/bin/sh";
  std::string dashC = "-c";
  std::string command = locker_;
  char* arguments[] = {shell.data(), dashC.data(), command.data(), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, shell.c_str(), nullptr, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    launcher_.lockAnswered(false, "cannot start the locker: " + std::string(std::strerror(error)));
    return;
  }
  pid_ = pid;
  pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  way_ = Way::Command;
  deadlineUs_ = monotonicNowUs() + kLockerSettleUs;
}

bool LockRequest::startCall(Way way) {
  int r = -1;
  if (way == Way::Gnome) {
    r = sd_bus_call_method_async(bus_, nullptr, "org.gnome.ScreenSaver", "/org/gnome/ScreenSaver",
                                 "org.gnome.ScreenSaver", "Lock", onReply, this, "");
  } else if (way == Way::Desktop) {
    r = sd_bus_call_method_async(bus_, nullptr, "org.freedesktop.ScreenSaver",
                                 "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                                 "Lock", onReply, this, "");
  } else {
    const char* id = std::getenv("XDG_SESSION_ID");
    if (id == nullptr || id[0] == '\0' || !hasOwner(bus_, "org.freedesktop.login1")) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* path = nullptr;
    if (sd_bus_call_method(bus_, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "GetSession", &error, &reply, "s",
                           id) >= 0 &&
        sd_bus_message_read(reply, "o", &path) >= 0)
      sessionPath_ = path;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (sessionPath_.empty()) return false;
    r = sd_bus_call_method_async(bus_, nullptr, "org.freedesktop.login1", "/org/freedesktop/login1",
                                 "org.freedesktop.login1.Manager", "LockSession", onReply, this,
                                 "s", id);
  }
  if (r < 0) return false;
  way_ = way;
  deadlineUs_ = monotonicNowUs() + kCallTimeoutUs;
  return true;
}

void LockRequest::callAnswered(sd_bus_message* reply) {
  if (sd_bus_message_is_method_error(reply, nullptr)) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    finish(false, std::string(wayName(way_)) + " failed: " +
                      (error != nullptr && error->message != nullptr ? error->message : "no reason"));
    return;
  }
  called_ = true;
  deadlineUs_ = monotonicNowUs() + kDesktopConfirmUs;
}

bool LockRequest::desktopSaysLocked() {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int locked = 0;
  int r = -1;
  if (way_ == Way::Gnome)
    r = sd_bus_call_method(bus_, "org.gnome.ScreenSaver", "/org/gnome/ScreenSaver",
                           "org.gnome.ScreenSaver", "GetActive", &error, &reply, "");
  else if (way_ == Way::Desktop)
    r = sd_bus_call_method(bus_, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                           "org.freedesktop.ScreenSaver", "GetActive", &error, &reply, "");
  if (r >= 0 && sd_bus_message_read(reply, "b", &locked) < 0) locked = 0;
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  if (way_ == Way::Logind) {
    sd_bus_get_property_trivial(bus_, "org.freedesktop.login1", sessionPath_.c_str(),
                                "org.freedesktop.login1.Session", "LockedHint", &error, 'b',
                                &locked);
    sd_bus_error_free(&error);
  }
  return locked != 0;
}

void LockRequest::finish(bool locked, const std::string& how) {
  way_ = Way::None;
  called_ = false;
  deadlineUs_.reset();
  if (pidFd_ >= 0) ::close(pidFd_);
  pidFd_ = -1;
  pid_ = -1;
  sessionPath_.clear();
  closeBus();
  launcher_.lockAnswered(locked, how);
}

bool LockRequest::prepare(PollRequest& request) {
  if (way_ == Way::Command || way_ == Way::Up) {
    request.fd = pidFd_;
    request.events = POLLIN;
  } else if (bus_ != nullptr && way_ != Way::None) {
    while (sd_bus_process(bus_, nullptr) > 0) {
    }
    if (way_ == Way::None) return true;  // answered while processing
    request.fd = sd_bus_get_fd(bus_);
    const int events = sd_bus_get_events(bus_);
    request.events = static_cast<short>(events > 0 ? events : POLLIN);
  }
  request.deadlineUs = deadlineUs_;
  return true;
}

bool LockRequest::dispatch(short revents) {
  if (way_ == Way::Up) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG) == 0 &&
        info.si_pid == pid_) {
      ::close(pidFd_);
      pidFd_ = -1;
      pid_ = -1;
      way_ = Way::None;
    }
    return true;
  }
  if (way_ == Way::Command) {
    siginfo_t info{};
    // Only this child, by its pid: the saver's own end is reaped elsewhere.
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG) == 0 &&
        info.si_pid == pid_) {
      if (info.si_code == CLD_EXITED && info.si_status == 0)
        finish(true, "\"" + locker_ + "\" locked and went to the background");
      else if (info.si_code == CLD_EXITED)
        finish(false, "\"" + locker_ + "\" exited with status " + std::to_string(info.si_status));
      else
        finish(false, "\"" + locker_ + "\" was killed by signal " + std::to_string(info.si_status));
      return true;
    }
    if (deadlineUs_ && monotonicNowUs() >= *deadlineUs_) {
      // Still running: the locker is up, and its end is the unlock. It is
      // reaped then, by its pid.
      way_ = Way::Up;
      deadlineUs_.reset();
      launcher_.lockAnswered(true, "\"" + locker_ + "\" is up");
    }
    return true;
  }
  if (bus_ == nullptr || way_ == Way::None) return true;
  (void)revents;
  while (sd_bus_process(bus_, nullptr) > 0) {
    if (way_ == Way::None) return true;
  }
  if (way_ != Way::None && deadlineUs_ && monotonicNowUs() >= *deadlineUs_) {
    if (!called_)
      finish(false, std::string(wayName(way_)) + " did not answer");
    else if (desktopSaysLocked())
      finish(true, wayName(way_));
    else
      finish(false, std::string(wayName(way_)) +
                        " was accepted, but the desktop does not say it is locked");
  }
  return true;
}

}  // namespace tw::idle
