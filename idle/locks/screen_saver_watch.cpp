#include "idle/locks/screen_saver_watch.h"

namespace tw::idle {

ScreenSaverWatch::ScreenSaverWatch(Bus& user, Launcher& launcher)
    : bus_(user),
      launcher_(launcher),
      services_{{{{"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
                  LockSignal::GnomeScreenSaver, nullptr, {}, {}},
                 {{"org.gnome.Shell.ScreenShield", "/org/gnome/ScreenSaver",
                   "org.gnome.ScreenSaver"},
                  LockSignal::GnomeScreenShield, nullptr, {}, {}},
                 {{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                   "org.freedesktop.ScreenSaver"},
                  LockSignal::FreedesktopScreenSaver, nullptr, {}, {}}}} {
  if (!bus_.connected()) return;
  for (Service& service : services_) {
    // Asked when it appears; one that leaves no longer counts as locking.
    service.name = std::make_unique<NameWatch>(bus_, service.object.name, [this, &service](bool owned) {
      if (owned)
        ask(service);
      else
        activeIs(service, false);
    });
    // Only its ActiveChanged, from whatever path it sends them (KDE's
    // service sends from two).
    service.active = service.name->onSignal(nullptr, service.object.interface, "ActiveChanged",
                                            [this, &service](sd_bus_message* message) {
                                              int active = 0;
                                              if (sd_bus_message_read(message, "b", &active) >= 0)
                                                activeIs(service, active != 0);
                                            });
    if (service.name->owned()) ask(service);
  }
}

void ScreenSaverWatch::ask(Service& service) {
  // Asked only of a service that runs: the bus would otherwise start one for
  // the question (GNOME Shell installs an activatable org.gnome.ScreenSaver,
  // which then answers for GNOME on every other desktop).
  BusMessage call = bus_.newCall(service.object, "GetActive", false);
  service.asked = bus_.callAsync(call, Bus::kCallTimeoutUs, [this, &service](sd_bus_message* reply) {
    int active = 0;
    // No answer (no such service, no such method): it says nothing is locked.
    if (sd_bus_message_is_method_error(reply, nullptr) ||
        sd_bus_message_read(reply, "b", &active) < 0)
      active = 0;
    activeIs(service, active != 0);
  });
}

}  // namespace tw::idle
