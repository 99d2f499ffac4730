#include "idle/dark/mutter_power_watch.h"

#include "idle/dark/dark_screen.h"

namespace tw::idle {
namespace {

constexpr BusObject kDisplayConfig{"org.gnome.Mutter.DisplayConfig",
                                   "/org/gnome/Mutter/DisplayConfig",
                                   "org.gnome.Mutter.DisplayConfig"};
constexpr const char* kProperty = "PowerSaveMode";

}  // namespace

std::optional<bool> MutterPowerWatch::darkNow(Bus& user) {
  const BusObject properties{kDisplayConfig.name, kDisplayConfig.path,
                             "org.freedesktop.DBus.Properties"};
  if (!user.connected() || !user.hasOwner(kDisplayConfig.name)) return std::nullopt;
  BusMessage reply = user.call(properties, "Get", "ss", kDisplayConfig.interface, kProperty);
  std::int32_t mode = 0;
  if (!reply || sd_bus_message_read(reply.get(), "v", "i", &mode) < 0) return std::nullopt;
  return mutterPowerSaveDark(mode);
}

MutterPowerWatch::MutterPowerWatch(Bus& user, Launcher& launcher)
    : bus_(user),
      launcher_(launcher),
      // mutter restarting (GNOME Shell on X11) brings its screens back on.
      mutter_(user, kDisplayConfig.name, [this](bool owned) {
        if (owned)
          ask();
        else
          modeIs(0);
      }) {
  changed_ = mutter_.onProperty(kDisplayConfig.path, kDisplayConfig.interface, kProperty,
                                [this](sd_bus_message* value) {
                                  std::int32_t mode = 0;
                                  if (value == nullptr)
                                    ask();
                                  else if (sd_bus_message_read(value, "v", "i", &mode) >= 0)
                                    modeIs(mode);
                                });
  ask();
}

void MutterPowerWatch::modeIs(std::int32_t mode) {
  const std::optional<bool> dark = mutterPowerSaveDark(mode);
  if (!dark) return;
  if (*dark == dark_) return;
  dark_ = *dark;
  launcher_.lockChanged(LockSignal::MutterPowerSave, dark_);
}

void MutterPowerWatch::ask() {
  const BusObject properties{kDisplayConfig.name, kDisplayConfig.path,
                             "org.freedesktop.DBus.Properties"};
  BusMessage call = bus_.newCall(properties, "Get", false);
  if (!call ||
      sd_bus_message_append(call.get(), "ss", kDisplayConfig.interface, kProperty) < 0)
    return;
  asked_ = bus_.callAsync(call, Bus::kCallTimeoutUs, [this](sd_bus_message* reply) {
    std::int32_t mode = 0;
    if (sd_bus_message_is_method_error(reply, nullptr) ||
        sd_bus_message_read(reply, "v", "i", &mode) < 0)
      return;
    modeIs(mode);
  });
}

}  // namespace tw::idle
