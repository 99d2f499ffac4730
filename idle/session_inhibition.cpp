#include "idle/session_inhibition.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace tw::idle {
namespace {

constexpr const char* kService = "org.gnome.SessionManager";
// GsmInhibitorFlag: inhibit the session being marked idle.
constexpr std::uint32_t kInhibitIdle = 8;
// The session manager answers at once; one that hangs must not keep the
// launcher waiting for long.
constexpr std::uint64_t kCallTimeoutUs = 1'000'000;

}  // namespace

bool SessionInhibition::idleInhibited() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return false;
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int present = 0;
  int inhibited = 0;
  if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                         kService) >= 0 &&
      sd_bus_message_read(reply, "b", &present) >= 0 && present != 0) {
    reply = sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (sd_bus_call_method(bus, kService, "/org/gnome/SessionManager", kService, "IsInhibited",
                           &error, &reply, "u", kInhibitIdle) < 0 ||
        sd_bus_message_read(reply, "b", &inhibited) < 0)
      inhibited = 0;
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
  return inhibited != 0;
}

}  // namespace tw::idle
