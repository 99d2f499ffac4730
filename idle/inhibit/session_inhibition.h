// Who holds idle back right now, asked of everyone who keeps a record of it:
// GNOME's session manager (IsInhibited with the idle flag), KDE's power
// manager (PowerDevil's PolicyAgent, which org.freedesktop.ScreenSaver.Inhibit
// feeds on KDE), logind (BlockInhibited holding "idle"), and xdg-screensaver's
// record of the windows it suspends the X screen saver for. Asked once per
// idle period on the launcher's buses, each call with the bus's timeout.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "idle/bus/bus.h"

namespace tw::idle {

class SessionInhibition {
 public:
  explicit SessionInhibition(Buses& buses) : buses_(buses) {}

  // One entry for each inhibitor seen, "who: why" where the desktop says;
  // empty when nobody holds idle back (or nobody is there to ask).
  std::vector<std::string> standing();
  // Whether the session is locked now, as GNOME's or KDE's screen saver or
  // logind says; empty when none of them can say.
  std::optional<bool> locked();

 private:
  Buses& buses_;
};

}  // namespace tw::idle
