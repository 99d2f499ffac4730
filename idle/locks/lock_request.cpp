#include "idle/locks/lock_request.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
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
constexpr std::uint64_t kLockCallTimeoutUs = 20'000'000;

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
}

bool LockRequest::desktopOwns(const char* name) {
  const char* self = nullptr;
  if (!buses_.user.hasOwner(name)) return false;
  if (sd_bus_get_unique_name(buses_.user.get(), &self) < 0) return true;
  const BusObject daemon{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus"};
  BusMessage reply = buses_.user.call(daemon, "GetNameOwner", "s", name);
  const char* owner = nullptr;
  return !reply || sd_bus_message_read(reply.get(), "s", &owner) < 0 || owner == nullptr ||
         std::strcmp(owner, self) != 0;
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
  // GNOME Shell 43 answers org.gnome.ScreenSaver from a small service the
  // bus starts at the first call, so a running shell is enough: the Lock
  // call starts it.
  if ((buses_.user.hasOwner("org.gnome.ScreenSaver") || buses_.user.hasOwner("org.gnome.Shell")) &&
      startCall(Way::Gnome))
    return;
  // KDE's own, unless it is the launcher that answers for the name.
  if (desktopOwns("org.freedesktop.ScreenSaver") && startCall(Way::Desktop)) return;
  if (!buses_.system.connected()) {
    launcher_.lockAnswered(false, "no desktop locker and no system bus for logind; give --locker");
    return;
  }
  if (!startCall(Way::Logind))
    launcher_.lockAnswered(false, "no desktop locker, and logind cannot be asked; give --locker");
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
  BusMessage call;
  Bus* bus = &buses_.user;
  if (way == Way::Gnome) {
    call = bus->newCall({"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
                        "Lock");
  } else if (way == Way::Desktop) {
    call = bus->newCall({"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                         "org.freedesktop.ScreenSaver"},
                        "Lock");
  } else {
    bus = &buses_.system;
    const std::optional<std::string> session = logindSession(*bus);
    if (!session) return false;
    sessionPath_ = *session;
    const std::optional<std::string> id =
        bus->stringProperty({kLogind, sessionPath_.c_str(), kLogindSession}, "Id");
    if (!id) return false;
    call = bus->newCall(kLogindManager, "LockSession");
    if (call && sd_bus_message_append(call.get(), "s", id->c_str()) < 0) return false;
  }
  call_ = bus->callAsync(call, kLockCallTimeoutUs,
                         [this](sd_bus_message* reply) { callAnswered(reply); });
  if (!call_) return false;
  way_ = way;
  deadlineUs_ = monotonicNowUs() + kLockCallTimeoutUs;
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
  std::optional<bool> locked;
  if (way_ == Way::Logind)
    return buses_.system.boolProperty({kLogind, sessionPath_.c_str(), kLogindSession},
                                      "LockedHint") == true;
  const BusObject saver = way_ == Way::Gnome ? BusObject{"org.gnome.ScreenSaver",
                                                         "/org/gnome/ScreenSaver",
                                                         "org.gnome.ScreenSaver"}
                                             : BusObject{"org.freedesktop.ScreenSaver",
                                                         "/org/freedesktop/ScreenSaver",
                                                         "org.freedesktop.ScreenSaver"};
  BusMessage reply = buses_.user.call(saver, "GetActive", "");
  int active = 0;
  return reply && sd_bus_message_read(reply.get(), "b", &active) >= 0 && active != 0;
}

void LockRequest::finish(bool locked, const std::string& how) {
  way_ = Way::None;
  called_ = false;
  deadlineUs_ = PollRequest::kNoDeadline;
  if (pidFd_ >= 0) ::close(pidFd_);
  pidFd_ = -1;
  pid_ = -1;
  sessionPath_.clear();
  call_ = BusSlot();
  launcher_.lockAnswered(locked, how);
}

bool LockRequest::prepare(PollRequest& request) {
  if (way_ == Way::Command || way_ == Way::Up) {
    request.fd = pidFd_;
    request.events = POLLIN;
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
    if (monotonicNowUs() >= deadlineUs_) {
      // Still running: the locker is up, and its end is the unlock. It is
      // reaped then, by its pid.
      way_ = Way::Up;
      deadlineUs_ = PollRequest::kNoDeadline;
      launcher_.lockAnswered(true, "\"" + locker_ + "\" is up");
    }
    return true;
  }
  (void)revents;
  // The call's answer comes through the bus; here only its deadline.
  if (way_ != Way::None && monotonicNowUs() >= deadlineUs_) {
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
