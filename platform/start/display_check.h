// What the saver makes sure of before Qt opens the display, so that a machine
// without a usable display, or without Qt's support for it, gets one plain
// line saying what is missing instead of Qt's abort and a core dump.
//
// The saver reads no settings of its own. The variables read here are the
// window systems' and Qt's own: QT_QPA_PLATFORM, when set, chooses as it
// always does; otherwise the saver chooses as Qt would (Wayland in a Wayland
// session, X11 otherwise), but keeps the other as a fallback, which Qt 6.4
// does not when only WAYLAND_DISPLAY says a compositor is there.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/no_copy.h"

namespace tw::platform {

// The environment as the window systems and Qt read it.
struct DisplayEnvironment {
  std::string qpaPlatform{};    // QT_QPA_PLATFORM
  std::string sessionType{};    // XDG_SESSION_TYPE
  std::string display{};        // DISPLAY
  std::string waylandDisplay{}; // WAYLAND_DISPLAY
  std::string runtimeDir{};     // XDG_RUNTIME_DIR
  bool waylandSocket = false;  // WAYLAND_SOCKET: a connection handed down already

  static DisplayEnvironment ofThisProcess();
};

// The tries that touch the machine, apart so that tests can stand in for them.
class DisplayProbe {
 public:
  virtual ~DisplayProbe() = default;
  // Whether an X server answers at `display`.
  virtual bool connectX(const std::string& display) = 0;
  // Whether a Wayland compositor listens on the socket at `path`.
  virtual bool connectWayland(const std::string& path) = 0;
  // Whether Qt's plugin for `platform` ("xcb", "wayland", ...) is installed.
  virtual bool pluginInstalled(const std::string& platform) = 0;
};

struct StartPlan {
  // What to give Qt as -platform ("wayland;xcb"); empty to leave the choice
  // to Qt (QT_QPA_PLATFORM is set).
  std::string platformArgument;
  // Empty when the saver can start; else the one line to print before
  // exiting with status 1.
  std::string error;
};

// The platforms the saver would try, in order, when QT_QPA_PLATFORM is not set.
std::vector<std::string> platformsToTry(const DisplayEnvironment& env);

// Tries every platform that may be used, and says how to start, or why not.
StartPlan planStart(const DisplayEnvironment& env, DisplayProbe& probe);

// The probe of the real machine. An X connection that answered is kept open
// until the probe is destroyed: while the saver holds one, the X server has a
// client and cannot reset itself (which X servers do when their last client
// leaves, refusing connections meanwhile) just as Qt connects.
class SystemDisplayProbe : public DisplayProbe, private common::NoCopy {
 public:
  // How the probe waits between tries of a refused X connection.
  using Pause = std::function<void(std::chrono::milliseconds)>;
  explicit SystemDisplayProbe(Pause pause = sleepFor);
  ~SystemDisplayProbe() override;

  bool connectX(const std::string& display) override;
  bool connectWayland(const std::string& path) override;
  bool pluginInstalled(const std::string& platform) override;
  // Closes the X connection kept open, once Qt holds its own.
  void letGo();

 private:
  static void sleepFor(std::chrono::milliseconds span);

  struct XConnection;
  Pause pause_;
  std::unique_ptr<XConnection> x_;
};

// The line printed when Qt itself fails to start its platform after the
// checks passed (say, the display went away in between).
std::string qtStartFailure(const std::string& qtMessage, const std::string& qpaPlatform);
// The line printed when Qt started on `platform` but found no screen there.
std::string noScreenFailure(const std::string& platform);

}  // namespace tw::platform
