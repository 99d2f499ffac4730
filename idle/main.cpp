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
#include <string>
#include <vector>

#include "common/executable_folder.h"
#include "idle/command_line.h"
#include "idle/event_loop.h"
#include "idle/gnome_idle_source.h"
#include "idle/launcher.h"
#include "idle/saver_process.h"
#include "idle/session_lock.h"
#include "idle/steady_clock.h"
#include "idle/system_effects.h"
#include "idle/wayland_idle_source.h"
#include "idle/x11_idle_source.h"

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

// The first source the session offers, in order of preference; with none,
// why each was not there.
std::unique_ptr<IdleSource> pickSource(std::uint32_t delayMs, IdleEvents& events,
                                       std::string& missing) {
  auto wayland = std::make_unique<WaylandIdleSource>(delayMs, events);
  if (wayland->failure().empty()) return wayland;
  missing = wayland->failure();
  wayland.reset();
  auto gnome = std::make_unique<GnomeIdleSource>(delayMs, events);
  if (gnome->failure().empty()) return gnome;
  missing += "; " + gnome->failure();
  gnome.reset();
  auto x11 = std::make_unique<X11IdleSource>(delayMs, events);
  if (x11->failure().empty()) return x11;
  missing += "; " + x11->failure();
  return nullptr;
}

int run(const CommandLine& line) {
  const std::string folder = common::executableFolder();
  if (folder.empty()) {
    std::fprintf(stderr, "trenchwalk-idle: its own folder cannot be found (/proc/self/exe)\n");
    return 1;
  }
  SaverProcess saver(folder + "/trenchwalk");
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

  SteadyClock clock;
  SystemEffects effects(saver);
  Launcher launcher(effects, clock);
  constexpr std::uint32_t kMsPerSecond = 1000;
  std::string missing;
  const std::unique_ptr<IdleSource> source =
      pickSource(line.delaySeconds * kMsPerSecond, launcher, missing);
  if (!source) {
    std::fprintf(stderr, "trenchwalk-idle: no idle source: %s\n", missing.c_str());
    ::close(signalFd);
    return 1;
  }
  std::printf("trenchwalk-idle: idle source: %s; starting %s after %u s idle\n",
              source->description().c_str(), saver.path().c_str(), line.delaySeconds);
  std::fflush(stdout);
  EventLoop loop(*source, launcher, saver, signalFd);
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
    case CommandLine::Action::Run:
      break;
  }
  return tw::idle::run(line);
}
