// GNOME Shell's Activities overview, which the shell opens at every login. A
// window that appears while it is open shows only as a thumbnail in it and
// never gets the keyboard: the user's first key goes into the overview's
// search. So the launcher closes the overview before it starts the saver,
// through org.gnome.Shell's OverviewActive property, which GNOME Shell lets
// any program of the session set, on the launcher's session bus.
#pragma once

#include "idle/bus/bus.h"

namespace tw::idle {

class GnomeOverview {
 public:
  explicit GnomeOverview(Bus& user) : bus_(user) {}

  // Closes the overview when GNOME Shell is on the session bus and shows it;
  // does nothing elsewhere. Nothing waits for it: the shell hides the
  // overview with a short animation and then hands the keyboard to the
  // newest window, the saver's, whether it appeared before or after.
  void close();

 private:
  Bus& bus_;
};

}  // namespace tw::idle
