#include "idle/locks/screen_saver_watch.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <string>

#include "idle/bus/bus_poll.h"

namespace tw::idle {
namespace {

// Both services answer at once; one that hangs must not hold the launcher.
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;

int onActiveChanged(sd_bus_message* message, void* data, sd_bus_error*) {
  int active = 0;
  auto* service = static_cast<ScreenSaverWatch::Service*>(data);
  if (sd_bus_message_read(message, "b", &active) >= 0)
    service->watch->activeIs(*service, active != 0);
  return 0;
}

int onActiveReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  int active = 0;
  auto* service = static_cast<ScreenSaverWatch::Service*>(data);
  // No answer (no such service, no such method): it says nothing is locked.
  if (sd_bus_message_is_method_error(reply, nullptr) ||
      sd_bus_message_read(reply, "b", &active) < 0)
    active = 0;
  service->watch->activeIs(*service, active != 0);
  return 0;
}

int onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  auto* service = static_cast<ScreenSaverWatch::Service*>(data);
  if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0 ||
      std::strcmp(name, service->name) != 0)
    return 0;
  if (newOwner != nullptr && newOwner[0] != '\0')
    service->watch->ask(*service);
  else
    service->watch->activeIs(*service, false);
  return 0;
}

}  // namespace

ScreenSaverWatch::ScreenSaverWatch(Launcher& launcher)
    : launcher_(launcher),
      services_{{{"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver",
                  LockSignal::GnomeScreenSaver, this, nullptr, nullptr},
                 {"org.gnome.Shell.ScreenShield", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver",
                  LockSignal::GnomeScreenShield, this, nullptr, nullptr},
                 {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                  "org.freedesktop.ScreenSaver", LockSignal::FreedesktopScreenSaver, this, nullptr,
                  nullptr}}} {
  if (sd_bus_open_user(&bus_) < 0) {
    bus_ = nullptr;
    return;
  }
  sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
  for (Service& service : services_) {
    // Only this name's changes, and only its ActiveChanged, from whatever
    // path it sends them (KDE's service sends from two).
    const std::string ownerRule =
        std::string(
            "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
            "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
        service.name + "'";
    sd_bus_add_match(bus_, &service.ownerSlot, ownerRule.c_str(), onOwnerChanged, &service);
    sd_bus_match_signal(bus_, &service.activeSlot, service.name, nullptr, service.interface,
                        "ActiveChanged", onActiveChanged, &service);
    ask(service);
  }
}

ScreenSaverWatch::~ScreenSaverWatch() {
  for (Service& service : services_) {
    sd_bus_slot_unref(service.ownerSlot);
    sd_bus_slot_unref(service.activeSlot);
  }
  sd_bus_flush_close_unref(bus_);
}

void ScreenSaverWatch::ask(Service& service) {
  // Asked only of a service that runs: the bus would otherwise start one for
  // the question (GNOME Shell installs an activatable org.gnome.ScreenSaver,
  // which then answers for GNOME on every other desktop).
  sd_bus_message* call = nullptr;
  if (sd_bus_message_new_method_call(bus_, &call, service.name, service.path, service.interface,
                                     "GetActive") >= 0 &&
      sd_bus_message_set_auto_start(call, 0) >= 0)
    sd_bus_call_async(bus_, nullptr, call, onActiveReply, &service, 0);
  sd_bus_message_unref(call);
}

bool ScreenSaverWatch::prepare(PollRequest& request) {
  return bus_ != nullptr && prepareBus(bus_, request);
}

bool ScreenSaverWatch::dispatch(short) { return processBus(bus_); }

}  // namespace tw::idle
