// trenchwalk-idle: starts the trenchwalk screen saver that lies beside it
// whenever the session has been idle for a while. See trenchwalk-idle(1).
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/executable_folder.h"
#include "idle/decide/command_line.h"
#include "idle/dark/dark_screen.h"
#include "idle/loop/event_loop.h"
#include "idle/sources/gnome_idle_source.h"
#include "idle/decide/launcher.h"
#include "idle/loop/lock_deadline.h"
#include "idle/locks/lock_request.h"
#include "idle/locks/logind_lock_watch.h"
#include "idle/saver/saver_process.h"
#include "idle/locks/screen_saver_watch.h"
#include "idle/inhibit/screensaver_service.h"
#include "idle/loop/session_lock.h"
#include "idle/loop/steady_clock.h"
#include "idle/inhibit/session_inhibition.h"
#include "idle/inhibit/xdg_screensaver_watch.h"
#include "idle/act/system_effects.h"
#include "idle/sources/wayland_idle_source.h"
#include "idle/sources/x11_idle_source.h"
#include "idle/dark/mutter_power_watch.h"
#include "idle/dark/wayland_dark_watch.h"
#include "idle/dark/x11_dark_watch.h"
#include "idle/locks/x11_lock_watch.h"

namespace tw::idle {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The session this launcher serves, as the environment names it: its Wayland
// display, else its X server, else its session bus (GNOME on D-Bus alone).
std::string sessionKey() {
  if (const std::string wayland = environment("WAYLAND_DISPLAY"); !wayland.empty())
    return "wayland:" + wayland;
  if (std::string x11 = environment("DISPLAY"); !x11.empty()) {
    // ":1.0" and ":1" are one server, so one session.
    const std::size_t colon = x11.rfind(':');
    const std::size_t dot = x11.find('.', colon == std::string::npos ? 0 : colon);
    return "x11:" + (dot == std::string::npos ? x11 : x11.substr(0, dot));
  }
  return "bus:" + environment("DBUS_SESSION_BUS_ADDRESS");
}

enum class SourceKind { Wayland, Gnome, X11 };

// The session's idle source and what is tied to it: on X11 the watch for a
// locker holding the keyboard, on the same server. At the start the first
// source the session offers, in order of preference; once that went away,
// only one of the same kind (GNOME Shell restarting on X11 leaves the X
// server's idle time there, which knows nothing of GNOME's inhibitors).
class Desktop : public SourcePicker {
 public:
  Desktop(Bus& user, std::uint32_t delayMs, Launcher& launcher, SaverProcess& saver,
          SystemEffects& effects)
      : user_(user), delayMs_(delayMs), launcher_(launcher), saver_(saver), effects_(effects) {}

  void runIn(EventLoop& loop) { loop_ = &loop; }

  std::unique_ptr<IdleSource> pick(std::string& missing) override {
    std::unique_ptr<IdleSource> source = find(missing);
    if (!source) return nullptr;
    if (kind_ == SourceKind::X11) {
      x11_ = std::make_unique<X11LockWatch>(launcher_, saver_);
      if (!x11_->connected()) x11_.reset();
      if (x11_ && loop_ != nullptr) loop_->watch(*x11_);
      // Bare X11 only: XWayland's screen saver runs on X input alone, and
      // would go on under a Wayland session that is in use.
      x11Dark_ = std::make_unique<X11DarkWatch>(&launcher_, &saver_);
      if (!x11Dark_->connected()) x11Dark_.reset();
      if (x11Dark_ && loop_ != nullptr) loop_->watch(*x11Dark_);
    } else if (kind_ == SourceKind::Wayland) {
      waylandDark_ = std::make_unique<WaylandDarkWatch>(&launcher_);
      if (!waylandDark_->connected()) waylandDark_.reset();
      if (waylandDark_ && loop_ != nullptr) loop_->watch(*waylandDark_);
    }
    effects_.use(source.get(), x11_.get());
    return source;
  }

  // Hands the loop what the first pick made before the loop existed.
  void watchTied() {
    if (x11_ && loop_ != nullptr) loop_->watch(*x11_);
    if (x11Dark_ && loop_ != nullptr) loop_->watch(*x11Dark_);
    if (waylandDark_ && loop_ != nullptr) loop_->watch(*waylandDark_);
  }

  void lost() override {
    effects_.use(nullptr, nullptr);
    if (x11_ && loop_ != nullptr) loop_->forget(*x11_);
    x11_.reset();
    if (x11Dark_) {
      x11Dark_->letGo();
      if (loop_ != nullptr) loop_->forget(*x11Dark_);
    }
    x11Dark_.reset();
    if (waylandDark_) {
      waylandDark_->letGo();
      if (loop_ != nullptr) loop_->forget(*waylandDark_);
    }
    waylandDark_.reset();
  }

 private:
  template <typename Source, typename... Bus>
  bool tryKind(SourceKind kind, std::unique_ptr<IdleSource>& found, std::string& missing,
               Bus&... bus) {
    if (picked_ && kind_ != kind) return false;
    auto source = std::make_unique<Source>(bus..., delayMs_, launcher_);
    if (source->failure().empty()) {
      kind_ = kind;
      picked_ = true;
      found = std::move(source);
      return true;
    }
    missing += (missing.empty() ? "" : "; ") + source->failure();
    return false;
  }

  std::unique_ptr<IdleSource> find(std::string& missing) {
    std::unique_ptr<IdleSource> found;
    missing.clear();
    if (tryKind<WaylandIdleSource>(SourceKind::Wayland, found, missing) ||
        tryKind<GnomeIdleSource>(SourceKind::Gnome, found, missing, user_) ||
        tryKind<X11IdleSource>(SourceKind::X11, found, missing))
      return found;
    return nullptr;
  }

  Bus& user_;
  std::uint32_t delayMs_;
  Launcher& launcher_;
  SaverProcess& saver_;
  SystemEffects& effects_;
  EventLoop* loop_ = nullptr;
  bool picked_ = false;
  SourceKind kind_ = SourceKind::Wayland;
  std::unique_ptr<X11LockWatch> x11_;
  std::unique_ptr<X11DarkWatch> x11Dark_;
  std::unique_ptr<WaylandDarkWatch> waylandDark_;
};

// Whether the screen is dark now, and who says so, for --status: mutter's
// power saving on GNOME; the X server's screen saver and DPMS on X11; the
// outputs' power on other Wayland compositors.
std::string darkness(Bus& user) {
  if (const std::optional<bool> mutter = MutterPowerWatch::darkNow(user))
    return darkLine(*mutter ? "mutter's PowerSaveMode" : "");
  if (environment("WAYLAND_DISPLAY").empty()) {
    const X11DarkWatch x11(nullptr, nullptr);
    if (x11.connected()) return darkLine(x11.darkBy());
  } else {
    const WaylandDarkWatch wayland(nullptr);
    if (wayland.connected()) return darkLine(wayland.darkBy());
  }
  return "not told by this desktop";
}

// What it sees now, in one line: the source, how long the session has been
// idle, who holds idle back and whether the session is locked. It starts
// nothing, takes no name and holds no lock of its own.
int status() {
  // A source needs somewhere to report; nothing listens here.
  class Deaf : public IdleEvents {
   public:
    void sessionIdle() override {}
    void sessionActive() override {}
  } deaf;
  Buses buses;
  constexpr std::uint32_t kAnyDelayMs = kDefaultDelaySeconds * 1000;
  std::string missing;
  std::unique_ptr<IdleSource> source = std::make_unique<WaylandIdleSource>(kAnyDelayMs, deaf);
  if (const std::string why = static_cast<WaylandIdleSource&>(*source).failure(); !why.empty()) {
    missing = why;
    source = std::make_unique<GnomeIdleSource>(buses.user, kAnyDelayMs, deaf);
    if (const std::string gnome = static_cast<GnomeIdleSource&>(*source).failure(); !gnome.empty()) {
      missing += "; " + gnome;
      source = std::make_unique<X11IdleSource>(kAnyDelayMs, deaf);
      if (const std::string x11 = static_cast<X11IdleSource&>(*source).failure(); !x11.empty()) {
        missing += "; " + x11;
        source.reset();
      }
    }
  }
  std::string line = "trenchwalk-idle: idle source: ";
  if (source) {
    line += source->description();
    const std::int64_t idle = source->idleMs();
    constexpr std::int64_t kMsPerSecond = 1000;
    line += idle == IdleSource::kUnknownIdle
                ? "; idle for: not told by this source"
                : "; idle for " + std::to_string(idle / kMsPerSecond) + " s";
  } else {
    line += "none (" + missing + ")";
  }
  line += "; dark: " + darkness(buses.user);
  SessionInhibition inhibition(buses);
  std::vector<std::string> standing = inhibition.standing();
  // A running launcher's own record, where it answers org.freedesktop.ScreenSaver.
  const std::string held = heldThroughLauncher(buses.user);
  if (!held.empty()) standing.push_back(held);
  line += "; inhibitors: ";
  if (standing.empty()) line += "none";
  for (std::size_t i = 0; i < standing.size(); ++i) line += (i == 0 ? "" : ", ") + standing[i];
  const std::optional<bool> locked = inhibition.locked();
  line += std::string("; locked: ") + (!locked ? "unknown" : *locked ? "yes" : "no");
  std::printf("%s\n", line.c_str());
  return 0;
}

int run(const CommandLine& line) {
  const std::string folder = common::executableFolder();
  if (folder.empty()) {
    std::fprintf(stderr, "trenchwalk-idle: its own folder cannot be found (/proc/self/exe)\n");
    return 1;
  }
  SteadyClock clock;
  SaverProcess saver(folder + "/trenchwalk", clock);
  if (::access(saver.path().c_str(), X_OK) != 0) {
    std::fprintf(stderr, "trenchwalk-idle: no saver to start: %s: %s\n", saver.path().c_str(),
                 std::strerror(errno));
    return 1;
  }

  // First of all, so that a second launcher leaves before it connects to
  // anything.
  SessionLock lock;
  const std::string runtime = environment("XDG_RUNTIME_DIR");
  if (runtime.empty() || runtime.front() != '/') {
    std::fprintf(stderr,
                 "trenchwalk-idle: XDG_RUNTIME_DIR is not set; running without the "
                 "one-per-session lock\n");
  } else {
    std::string why;
    switch (lock.acquire(sessionLockPath(runtime, sessionKey()), why)) {
      case SessionLock::Outcome::Held:
        break;
      case SessionLock::Outcome::HeldElsewhere:
        return 0;
      case SessionLock::Outcome::Unavailable:
        std::fprintf(stderr, "trenchwalk-idle: running without the one-per-session lock (%s)\n",
                     why.c_str());
        break;
    }
  }

  // Read through a signalfd in the loop, never in a handler. SIGPIPE: a
  // display connection that closes is noticed by its library, not by a signal.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
  ::sigprocmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  const int signalFd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signalFd < 0) {
    std::perror("trenchwalk-idle: signalfd");
    return 1;
  }

  // One connection to each bus for the whole launcher, polled by the loop.
  Buses buses;
  SystemEffects effects(saver, buses);
  Launcher launcher(effects, clock);
  saver.reportHungTo(launcher);
  constexpr std::int64_t kMsPerMinute = 60'000;
  launcher.setLockAfterMs(static_cast<std::int64_t>(line.lockAfterMinutes) * kMsPerMinute);
  constexpr std::uint32_t kMsPerSecond = 1000;
  Desktop desktop(buses.user, line.delaySeconds * kMsPerSecond, launcher, saver, effects);
  std::string missing;
  std::unique_ptr<IdleSource> source = desktop.pick(missing);
  if (!source) {
    std::fprintf(stderr, "trenchwalk-idle: no idle source: %s\n", missing.c_str());
    ::close(signalFd);
    return 1;
  }
  std::printf("trenchwalk-idle: idle source: %s; starting %s after %u s idle\n",
              source->description().c_str(), saver.path().c_str(), line.delaySeconds);
  EventLoop loop(desktop, std::move(source), launcher, saver, signalFd);
  desktop.runIn(loop);
  loop.watch(buses.user);
  loop.watch(buses.system);

  // Where nobody answers org.freedesktop.ScreenSaver, the launcher does;
  // before the desktop's lock watches, which then know it is its own.
  ScreenSaverService service(buses.user, launcher);
  LockRequest lockRequest(buses, launcher, line.locker);
  if (service.outcome() == ScreenSaverService::Outcome::Owned) {
    effects.setService(&service);
    std::printf("trenchwalk-idle: answering org.freedesktop.ScreenSaver for the inhibitors of "
                "this session\n");
  }
  LockDeadline lockDeadline(launcher);
  if (line.lockAfterMinutes != 0) {
    effects.setLockRequest(&lockRequest);
    loop.watch(lockRequest);
    loop.watch(lockDeadline);
    std::printf("trenchwalk-idle: locking the session with %s once the saver has run %u min\n",
                line.locker.empty() ? "the desktop's locker" : ("\"" + line.locker + "\"").c_str(),
                line.lockAfterMinutes);
  }
  std::fflush(stdout);
  // The X11 watch made with the first source, and the desktop's own word on
  // locks and blanks, where it has a bus to say it on.
  desktop.watchTied();
  ScreenSaverWatch screenSaver(buses.user, launcher);
  LogindLockWatch logind(buses.system, launcher);
  MutterPowerWatch mutterPower(buses.user, launcher);
  // xdg-screensaver's record on a bare X11 session, for the end of a film.
  XdgScreensaverWatch xdgRecord(launcher);
  if (xdgRecord.usable()) loop.watch(xdgRecord);
  loop.watch(saver);
  const int status = loop.run();
  ::close(signalFd);
  return status;
}

}  // namespace
}  // namespace tw::idle

int main(int argc, char** argv) {
  using tw::idle::CommandLine;
  const CommandLine line =
      tw::idle::parseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  switch (line.action) {
    case CommandLine::Action::Help:
      std::fputs(tw::idle::helpText().c_str(), stdout);
      return 0;
    case CommandLine::Action::BadUsage:
      std::fprintf(stderr, "%s (%s)\n", tw::idle::usageLine().c_str(), line.error.c_str());
      return 2;
    case CommandLine::Action::Status:
      return tw::idle::status();
    case CommandLine::Action::Run:
      break;
  }
  return tw::idle::run(line);
}
