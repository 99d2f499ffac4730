// mutter's power saving: org.gnome.Mutter.DisplayConfig's PowerSaveMode,
// which GNOME's power settings set to turn the monitors off after the
// shield. On the session bus, read once and then heard through
// PropertiesChanged from mutter itself; nothing is polled. Anything but On
// is a dark screen.
#pragma once

#include <cstdint>
#include <optional>

#include "idle/bus/name_watch.h"
#include "idle/decide/launcher.h"

namespace tw::idle {

class MutterPowerWatch {
 public:
  MutterPowerWatch(Bus& user, Launcher& launcher);

  // mutter's PowerSaveMode now, asked and waited for (--status): dark, lit,
  // or not told (no mutter, or it does not say).
  static std::optional<bool> darkNow(Bus& user);

 private:
  void modeIs(std::int32_t mode);
  void ask();

  Bus& bus_;
  Launcher& launcher_;
  bool dark_ = false;
  NameWatch mutter_;
  BusSlot changed_;
  BusSlot asked_;
};

}  // namespace tw::idle
