// org.freedesktop.ScreenSaver on the session bus, answered by the launcher
// where the desktop does not (sway and other wlroots compositors, X11 window
// managers, weston), so that the players, browsers and presentation tools
// that call Inhibit hold the saver back. Where the desktop owns the name (KDE,
// GNOME) it is never taken: no replacement, no place in the queue. Inhibit and
// UnInhibit on both paths applications use; an application that leaves the
// bus loses its inhibitors. The name goes back when the launcher ends.
//
// While it waits, the bus sends it nothing: it listens only for the
// departure of the clients that hold an inhibitor, one match each.
#pragma once

#include <systemd/sd-bus.h>

#include <map>
#include <string>

#include "idle/loop/watched.h"
#include "idle/decide/inhibitor_registry.h"


namespace tw::idle {

class Launcher;

// The launcher's own interface beside org.freedesktop.ScreenSaver, on its
// object: Inhibitors() lists who holds what, for --status.
inline constexpr const char* kOwnInterface = "org.trenchwalk.Idle";

// What a running launcher's record holds, one "application: reason" each,
// asked over the session bus; empty when no launcher answers.
std::string heldThroughLauncher();

class ScreenSaverService : public Watched {
 public:
  // Keeps its inhibitors in `registry`, which the launcher's effects read.
  ScreenSaverService(Launcher& launcher, InhibitorRegistry& registry)
      : launcher_(launcher), registry_(registry) {}
  ~ScreenSaverService() override;
  ScreenSaverService(const ScreenSaverService&) = delete;
  ScreenSaverService& operator=(const ScreenSaverService&) = delete;

  enum class Outcome { Owned, DesktopOwnsIt, NoBus };
  // Connects and asks for the name; why() says more when not Owned.
  Outcome start();
  const std::string& why() const { return why_; }

  const InhibitorRegistry& registry() const { return registry_; }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

  // For the bus's callbacks.
  int inhibit(sd_bus_message* call, sd_bus_error* error);
  int uninhibit(sd_bus_message* call, sd_bus_error* error);
  int list(sd_bus_message* call, sd_bus_error* error);
  void clientLeft(const std::string& client);

 private:
  bool processQueued();
  void busClosed();
  void watchClient(const std::string& client);
  void forgetClient(const std::string& client);

  Launcher& launcher_;
  InhibitorRegistry& registry_;
  std::string why_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* objects_[3] = {nullptr, nullptr, nullptr};
  // One NameOwnerChanged match for each client holding an inhibitor.
  std::map<std::string, sd_bus_slot*> departures_;
  bool owned_ = false;
};

}  // namespace tw::idle
