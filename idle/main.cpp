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
#include "common/lock_file.h"
#include "idle/act/desktop.h"
#include "idle/act/system_effects.h"
#include "idle/decide/command_line.h"
#include "idle/decide/inhibitor_registry.h"
#include "idle/dark/dark_screen.h"
#include "idle/decide/launcher.h"
#include "idle/inhibit/screensaver_service.h"
#include "idle/inhibit/session_inhibition.h"
#include "idle/locks/lock_deadline.h"
#include "idle/locks/lock_request.h"
#include "idle/locks/logind_lock_watch.h"
#include "idle/locks/screen_saver_watch.h"
#include "idle/loop/event_loop.h"
#include "idle/loop/session_lock.h"
#include "idle/loop/steady_clock.h"
#include "idle/saver/saver_process.h"
#include "idle/saver/saver_watch.h"
#include "idle/act/settings_follower.h"
#include "idle/config/idle_settings.h"
#include "idle/loop/settings_watch.h"
#include "idle/inhibit/xdg_screensaver_watch.h"
#include "idle/dark/mutter_power_watch.h"
#include "idle/dark/wayland_dark_watch.h"
#include "idle/dark/x11_dark_watch.h"

namespace tw::idle {
namespace {

constexpr std::int64_t kMsPerSecond = 1000;

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
  constexpr std::uint32_t kAnyDelayMs = kDefaultDelaySeconds * kMsPerSecond;
  std::string missing;
  const std::optional<FoundSource> found =
      findIdleSource(buses.user, kAnyDelayMs, deaf, std::nullopt, missing);
  std::string line = "trenchwalk-idle: idle source: ";
  if (found) {
    line += found->source->description();
    const std::optional<std::int64_t> idle = found->source->idleMs();
    line += idle ? "; idle for " + std::to_string(*idle / kMsPerSecond) + " s"
                 : "; idle for: not told by this source";
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
  // Whether a launcher runs for this session: the settings window reads it.
  const std::string runtime = environment("XDG_RUNTIME_DIR");
  const std::optional<long> launcher =
      runtime.empty() ? std::nullopt : sessionLockHolder(sessionLockPath(runtime, sessionKey()));
  line += "; launcher: ";
  line += launcher ? "running (process " + std::to_string(*launcher) + ")" : "not running";
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
      case common::LockOutcome::Held:
        break;
      case common::LockOutcome::HeldElsewhere:
        return 0;
      case common::LockOutcome::Unavailable:
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

  // The settings file under the command line, followed while it runs.
  const std::string settingsFile =
      settingsPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")).value_or("");
  bool settingsPresent = false;
  const IdleSettings settings = settingsFile.empty()
                                    ? settle(line, {})
                                    : readIdleSettings(settingsFile, line, settingsPresent);

  // What the launcher is made of, each part built with what it needs, so
  // that the types hold the order: one connection to each bus for the whole
  // launcher, polled by the loop; the effects act on the saver, the
  // desktop's idle source and the record of the inhibitors held through the
  // launcher; the launcher acts through the effects; every part that tells
  // the launcher something comes after it.
  constexpr std::int64_t kMsPerMinute = 60 * kMsPerSecond;
  Buses buses;
  Desktop desktop(buses.user, settings.delaySeconds * kMsPerSecond, saver);
  InhibitorRegistry ownInhibitors;
  SystemEffects effects(buses, saver, desktop, ownInhibitors);
  Launcher launcher(effects, clock, settings.lockAfterMinutes * kMsPerMinute);
  launcher.setEnabled(settings.enabled);
  SaverWatch saverWatch(saver, launcher);
  std::string missing;
  std::unique_ptr<IdleSource> source = desktop.pick(launcher, missing);
  if (!source) {
    std::fprintf(stderr, "trenchwalk-idle: no idle source: %s\n", missing.c_str());
    ::close(signalFd);
    return 1;
  }
  std::printf("trenchwalk-idle: idle source: %s; starting %s after %u s idle\n",
              source->description().c_str(), saver.path().c_str(), settings.delaySeconds);
  if (settingsPresent) std::printf("%s\n", describeSettings(settingsFile, settings).c_str());
  EventLoop loop(desktop, std::move(source), launcher, saverWatch, signalFd);
  loop.watch(buses.user);
  loop.watch(buses.system);

  // Where nobody answers org.freedesktop.ScreenSaver, the launcher does;
  // before the desktop's lock watches, which then know it is its own.
  ScreenSaverService service(buses.user, launcher, ownInhibitors);
  LockRequest lockRequest(buses, launcher, settings.locker);
  if (service.outcome() == ScreenSaverService::Outcome::Owned) {
    std::printf("trenchwalk-idle: answering org.freedesktop.ScreenSaver for the inhibitors of "
                "this session\n");
  }
  // Watched even without a lock: the settings file may ask for one later,
  // and neither asks for anything while no lock is due.
  LockDeadline lockDeadline(launcher, lockRequest);
  loop.watch(lockRequest);
  loop.watch(lockDeadline);
  if (settings.lockAfterMinutes != 0)
    std::printf("trenchwalk-idle: locking the session with %s once the saver has run %u min\n",
                settings.locker.empty() ? "the desktop's locker"
                                        : ("\"" + settings.locker + "\"").c_str(),
                settings.lockAfterMinutes);
  SettingsFollower follower(settingsFile, line, settings, launcher, lockRequest,
                            [&desktop](std::uint32_t delayMs) { desktop.setDelayMs(delayMs); });
  std::optional<SettingsWatch> settingsWatch;
  if (!settingsFile.empty()) {
    settingsWatch.emplace(settingsFile, [&follower] { follower.reread(); });
    if (settingsWatch->problem().empty())
      loop.watch(*settingsWatch);
    else
      std::fprintf(stderr, "trenchwalk-idle: %s is not followed while running (%s)\n",
                   settingsFile.c_str(), settingsWatch->problem().c_str());
  }
  std::fflush(stdout);
  // The X11 lock watch made with the source, and the desktop's own word on
  // locks and blanks, where it has a bus to say it on.
  for (TiedWatch* tied : {&desktop.x11Lock(), &desktop.x11Dark(), &desktop.waylandDark()})
    loop.watch(*tied);
  ScreenSaverWatch screenSaver(buses.user, launcher);
  LogindLockWatch logind(buses.system, launcher);
  loop.watch(saverWatch);
  MutterPowerWatch mutterPower(buses.user, launcher);
  // xdg-screensaver's record on a bare X11 session, for the end of a film.
  XdgScreensaverWatch xdgRecord(launcher);
  if (xdgRecord.usable()) loop.watch(xdgRecord);
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
