#include "idle/act/settings_follower.h"

#include <cstdio>

#include "common/small_file.h"
#include "idle/decide/launcher.h"
#include "idle/locks/lock_request.h"

namespace tw::idle {

namespace {

constexpr std::uint32_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerMinute = 60'000;

}  // namespace

IdleSettings readIdleSettings(const std::string& path, const CommandLine& line, bool& present) {
  const common::SmallFile file = common::readSmallFile(path);
  const SettingsReading reading = readingOf(path, file.text, file.problem);
  for (const std::string& warning : reading.warnings)
    std::fprintf(stderr, "trenchwalk-idle: %s\n", warning.c_str());
  present = file.text.has_value();
  return settle(line, reading.settings);
}

std::string describeSettings(const std::string& path, const IdleSettings& settings) {
  std::string line = "trenchwalk-idle: following " + path + ": ";
  if (!settings.enabled) return line + "off, starting nothing";
  line += "on, starting after " + std::to_string(settings.delaySeconds) + " s idle";
  if (settings.lockAfterMinutes != 0)
    line += ", locking with " +
            (settings.locker.empty() ? std::string("the desktop's locker")
                                     : "\"" + settings.locker + "\"") +
            " once the saver has run " + std::to_string(settings.lockAfterMinutes) + " min";
  return line;
}

void SettingsFollower::reread() {
  bool present = false;
  const IdleSettings next = readIdleSettings(path_, line_, present);
  if (next == now_) return;
  if (next.locker != now_.locker) lockRequest_.setLocker(next.locker);
  if (next.lockAfterMinutes != now_.lockAfterMinutes)
    launcher_.setLockAfterMs(static_cast<std::int64_t>(next.lockAfterMinutes) * kMsPerMinute);
  if (next.delaySeconds != now_.delaySeconds) {
    newDelayMs_(next.delaySeconds * kMsPerSecond);
    launcher_.setDelayMs(next.delaySeconds * kMsPerSecond);
  }
  if (next.enabled != now_.enabled) launcher_.setEnabled(next.enabled);
  now_ = next;
  std::printf("%s\n", describeSettings(path_, now_).c_str());
  std::fflush(stdout);
}

}  // namespace tw::idle
