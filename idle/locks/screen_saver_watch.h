// Whether the desktop has locked the session or blanked the screen, as its
// screen-saver service says on the session bus: GNOME Shell's
// org.gnome.ScreenSaver (its lock screen and its blank shield) and KDE's
// org.freedesktop.ScreenSaver (its locker). GNOME Shell 43 owns only
// org.gnome.Shell.ScreenShield itself; org.gnome.ScreenSaver is a separate
// proxy that the bus starts when some program calls it, and in a session
// where none has, only the shell's own name tells, so both are heard. Both answer GetActive and send
// ActiveChanged; each is asked when it appears on the bus and heard from
// then on, and one that leaves the bus no longer counts as locking. Nothing
// is polled: the bus wakes the launcher only when one of them says something.
#pragma once

#include <array>
#include <cstdint>

#include "idle/loop/watched.h"
#include "idle/decide/launcher.h"

struct sd_bus;
struct sd_bus_slot;

namespace tw::idle {

class ScreenSaverWatch : public Watched {
 public:
  explicit ScreenSaverWatch(Launcher& launcher);
  ~ScreenSaverWatch() override;
  ScreenSaverWatch(const ScreenSaverWatch&) = delete;
  ScreenSaverWatch& operator=(const ScreenSaverWatch&) = delete;

  // False without a session bus.
  bool connected() const { return bus_ != nullptr; }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

  // One service watched; public for the bus's callbacks.
  struct Service {
    const char* name;
    const char* path;
    const char* interface;
    LockSignal signal;
    ScreenSaverWatch* watch;
    sd_bus_slot* ownerSlot;
    sd_bus_slot* activeSlot;
  };
  void activeIs(const Service& service, bool active) {
    launcher_.lockChanged(service.signal, active);
  }
  void ask(Service& service);

 private:
  Launcher& launcher_;
  sd_bus* bus_ = nullptr;
  std::array<Service, 3> services_;
};

}  // namespace tw::idle
