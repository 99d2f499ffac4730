// org.freedesktop.ScreenSaver on the session bus, answered by the launcher
// where the desktop does not (sway and other wlroots compositors, X11 window
// managers, weston), so that the players, browsers and presentation tools
// that call Inhibit hold the saver back. Where the desktop owns the name (KDE,
// GNOME) it is never taken: no replacement, no place in the queue. Inhibit and
// UnInhibit on both paths applications use; an application that leaves the
// bus loses its inhibitors. The name goes back when the launcher ends.
//
// While it waits, the bus sends it nothing: it listens only for the
// departure of the clients that hold an inhibitor, through sd-bus's trackers,
// one each. A client is followed from before its first cookie, and a client
// the bus no longer knows gets none: one that asked and left at once holds
// nothing back.
#pragma once

#include <map>
#include <string>

#include "common/no_copy.h"
#include "idle/bus/bus.h"
#include "idle/decide/inhibitor_registry.h"

namespace tw::idle {

class Launcher;

// The launcher's own interface beside org.freedesktop.ScreenSaver, on its
// object: Inhibitors() lists who holds what, for --status.
inline constexpr const char* kOwnInterface = "org.trenchwalk.Idle";

// What a running launcher's record holds, one "application: reason" each,
// asked over the session bus; empty when no launcher answers.
std::string heldThroughLauncher(Bus& user);

class ScreenSaverService : private common::NoCopy {
 public:
  // Offers the objects and asks for the name; outcome() says whether it got
  // it, why() says more when not. Keeps its inhibitors in `registry`, which
  // the launcher's effects read.
  ScreenSaverService(Bus& user, Launcher& launcher, InhibitorRegistry& registry);
  ~ScreenSaverService();

  enum class Outcome { Owned, DesktopOwnsIt, NoBus };
  Outcome outcome() const { return outcome_; }
  const std::string& why() const { return why_; }

  const InhibitorRegistry& registry() const { return registry_; }

  // For the bus's callbacks.
  int inhibit(sd_bus_message* call, sd_bus_error* error);
  int uninhibit(sd_bus_message* call, sd_bus_error* error);
  int list(sd_bus_message* call, sd_bus_error* error);
  void trackerEmptied(sd_bus_track* track);

 private:
  Outcome offer();
  void busClosed();
  // Follows the call's sender until it leaves; false when it has left.
  bool follow(sd_bus_message* call);
  void clientLeft(const std::string& client);

  Bus& bus_;
  Launcher& launcher_;
  InhibitorRegistry& registry_;
  std::string why_;
  BusSlot objects_[3];
  // One tracker for each client holding an inhibitor.
  std::map<std::string, BusTrack> clients_;
  Outcome outcome_;
  BusSlot closed_;
};

}  // namespace tw::idle
