// Who holds idle back right now, asked of everyone who keeps a record of it:
// GNOME's session manager (IsInhibited with the idle flag), KDE's power
// manager (PowerDevil's PolicyAgent, which org.freedesktop.ScreenSaver.Inhibit
// feeds on KDE), logind (BlockInhibited holding "idle"), and xdg-screensaver's
// record of the windows it suspends the X screen saver for. Asked once per
// idle period, each on a connection made for the question, so the launcher
// holds no connection to them while it waits.
#pragma once

#include <string>
#include <vector>

namespace tw::idle {

class SessionInhibition {
 public:
  // One entry for each inhibitor seen, "who: why" where the desktop says;
  // empty when nobody holds idle back (or nobody is there to ask).
  std::vector<std::string> standing();
  // "yes", "no" or "unknown": whether the session is locked now, as GNOME's
  // or KDE's screen saver or logind says.
  std::string locked();
};

}  // namespace tw::idle
