#include "idle/dark/dark_screen.h"

namespace tw::idle {
namespace {

// The power levels DPMS and KDE's protocol share, and mutter's too.
constexpr std::uint32_t kPowerOn = 0;
constexpr std::uint32_t kPowerOff = 3;

}  // namespace

std::optional<bool> x11ScreenSaverDark(std::uint8_t state) {
  constexpr std::uint8_t kOff = 0;
  constexpr std::uint8_t kOn = 1;
  constexpr std::uint8_t kCycle = 2;
  constexpr std::uint8_t kDisabled = 3;
  switch (state) {
    case kOn:
    case kCycle:
      return true;
    case kOff:
    case kDisabled:
      return false;
    default:
      return std::nullopt;
  }
}

bool dpmsDark(bool enabled, std::uint16_t powerLevel) { return enabled && powerLevel != kPowerOn; }

std::optional<bool> wlrOutputOff(std::uint32_t mode) {
  constexpr std::uint32_t kWlrOff = 0;
  constexpr std::uint32_t kWlrOn = 1;
  if (mode == kWlrOff) return true;
  if (mode == kWlrOn) return false;
  return std::nullopt;
}

std::optional<bool> kdeDpmsOff(std::uint32_t mode) {
  if (mode > kPowerOff) return std::nullopt;
  return mode != kPowerOn;
}

std::optional<bool> mutterPowerSaveDark(std::int32_t mode) {
  if (mode < 0 || mode > static_cast<std::int32_t>(kPowerOff)) return std::nullopt;
  return mode != static_cast<std::int32_t>(kPowerOn);
}

bool OutputPowers::dark() const {
  if (off_.empty()) return false;
  for (const auto& [output, off] : off_)
    if (!off) return false;
  return true;
}

std::string darkLine(const std::string& saidBy) {
  return saidBy.empty() ? "no" : "yes (" + saidBy + ")";
}

}  // namespace tw::idle
