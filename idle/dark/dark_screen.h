// Whether the screen has gone dark, from what each window system says of it
// in its own terms: the X server's screen saver state and DPMS power level,
// a Wayland compositor's power mode for each output, mutter's PowerSaveMode.
// A dark screen is taken as a blank (see LockSignal): nobody sees a saver
// there. Pure decoding, so that every value can be tried in a table.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tw::idle {

// The X server's screen saver (MIT-SCREEN-SAVER): the state of a
// ScreenSaverNotify event or a ScreenSaverQueryInfo reply (Off 0, On 1,
// Cycle 2, Disabled 3). On and Cycle are dark; Off and Disabled are not; an
// unknown state says nothing.
std::optional<bool> x11ScreenSaverDark(std::uint8_t state);

// DPMS, from DPMSInfo or DPMS 1.2's InfoNotify: dark when DPMS is enabled and
// the power level is anything but On (Standby 1, Suspend 2, Off 3).
bool dpmsDark(bool enabled, std::uint16_t powerLevel);

// One Wayland output's power mode, as each protocol encodes it:
// zwlr_output_power_v1 (off 0, on 1) and org_kde_kwin_dpms (On 0, Standby 1,
// Suspend 2, Off 3). An unknown value says nothing.
std::optional<bool> wlrOutputOff(std::uint32_t mode);
std::optional<bool> kdeDpmsOff(std::uint32_t mode);

// mutter's org.gnome.Mutter.DisplayConfig PowerSaveMode (On 0, Standby 1,
// Suspend 2, Off 3; -1 unknown): dark for 1 to 3; -1 and anything else say
// nothing.
std::optional<bool> mutterPowerSaveDark(std::int32_t mode);

// The outputs of a Wayland compositor, each with its last known power mode.
// The walk covers every output, so the screen is dark only when there is at
// least one output and every output is off; one still lit shows the walk.
class OutputPowers {
 public:
  // An output's mode: on or off; a mode not yet known counts as on.
  void set(std::uint32_t output, bool off) { off_[output] = off; }
  // The output went away (unplugged, or its global withdrawn).
  void remove(std::uint32_t output) { off_.erase(output); }
  bool dark() const;

 private:
  std::map<std::uint32_t, bool> off_;
};

// The line --status gives for a dark screen: "no", or "yes (who says so)".
std::string darkLine(const std::string& saidBy);

}  // namespace tw::idle
