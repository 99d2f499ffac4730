// Whether the desktop has locked the session or blanked the screen, as its
// screen-saver service says on the session bus: GNOME Shell's
// org.gnome.ScreenSaver (its lock screen and its blank shield) and KDE's
// org.freedesktop.ScreenSaver (its locker). GNOME Shell 43 owns only
// org.gnome.Shell.ScreenShield itself; org.gnome.ScreenSaver is a separate
// proxy that the bus starts when some program calls it, and in a session
// where none has, only the shell's own name tells, so both are heard. Both answer GetActive and send
// ActiveChanged; each is asked when it appears on the bus and heard from
// then on, and one that leaves the bus no longer counts as locking. Nothing
// is polled: the bus wakes the launcher only when one of them says something,
// and an ActiveChanged counts only from the connection that owns the name.
#pragma once

#include <array>
#include <memory>

#include "idle/bus/name_watch.h"
#include "idle/decide/launcher.h"

namespace tw::idle {

class ScreenSaverWatch {
 public:
  ScreenSaverWatch(Bus& user, Launcher& launcher);

 private:
  // One service watched.
  struct Service {
    BusObject object;
    LockSignal signal;
    std::unique_ptr<NameWatch> name;
    BusSlot active;
    BusSlot asked;
  };
  void ask(Service& service);
  void activeIs(const Service& service, bool active) {
    launcher_.lockChanged(service.signal, active);
  }

  Bus& bus_;
  Launcher& launcher_;
  std::array<Service, 3> services_;
};

}  // namespace tw::idle
