#include "idle/act/gnome_overview.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace tw::idle {
namespace {

constexpr const char* kService = "org.gnome.Shell";
constexpr const char* kPath = "/org/gnome/Shell";
constexpr const char* kProperty = "OverviewActive";
// The shell answers at once; one that hangs must not keep the saver back
// for long.
constexpr std::uint64_t kCallTimeoutUs = 1'000'000;

}  // namespace

void GnomeOverview::close() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return;
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int present = 0;
  int open = 0;
  // Asked first, so that nothing is ever started on another desktop's bus
  // for the question; without the shell, or without the property, there is
  // nothing to close.
  if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                         kService) >= 0 &&
      sd_bus_message_read(reply, "b", &present) >= 0 && present != 0) {
    sd_bus_error_free(&error);
    if (sd_bus_get_property_trivial(bus, kService, kPath, kService, kProperty, &error, 'b',
                                    &open) >= 0 &&
        open != 0) {
      sd_bus_error_free(&error);
      sd_bus_set_property(bus, kService, kPath, kService, kProperty, &error, "b", 0);
    }
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
}

}  // namespace tw::idle
