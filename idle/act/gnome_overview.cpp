#include "idle/act/gnome_overview.h"

namespace tw::idle {
namespace {

constexpr BusObject kShell{"org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell"};
constexpr const char* kProperty = "OverviewActive";

}  // namespace

void GnomeOverview::close() {
  // Asked first, so that nothing is ever started on another desktop's bus
  // for the question; without the shell, or without the property, there is
  // nothing to close.
  if (!bus_.hasOwner(kShell.name) || bus_.boolProperty(kShell, kProperty) != true) return;
  const BusObject properties{kShell.name, kShell.path, "org.freedesktop.DBus.Properties"};
  BusMessage call = bus_.newCall(properties, "Set");
  if (call && sd_bus_message_append(call.get(), "ssv", kShell.interface, kProperty, "b", 0) >= 0)
    bus_.call(call);
}

}  // namespace tw::idle
