#include "idle/command_line.h"

#include <string>

namespace tw::idle {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  if (arguments.empty()) return line;
  if (arguments.size() > 1) {
    line.action = CommandLine::Action::BadUsage;
    line.error = "one argument at most";
    return line;
  }
  const std::string& argument = arguments.front();
  if (argument == "--help" || argument == "-h") {
    line.action = CommandLine::Action::Help;
    return line;
  }
  // Digits only: no sign, no spaces, no unit, no hexadecimal.
  constexpr unsigned kDecimal = 10;
  unsigned long long value = 0;
  bool digits = !argument.empty();
  for (const char c : argument) {
    if (c < '0' || c > '9') {
      digits = false;
      break;
    }
    value = value * kDecimal + static_cast<unsigned>(c - '0');
    if (value > kLongestDelaySeconds) break;
  }
  if (!digits) {
    line.action = CommandLine::Action::BadUsage;
    line.error = "\"" + argument + "\" is not a whole number of seconds";
  } else if (value == 0 || value > kLongestDelaySeconds) {
    line.action = CommandLine::Action::BadUsage;
    line.error = "the delay must be 1 to " + std::to_string(kLongestDelaySeconds) + " seconds";
  } else {
    line.delaySeconds = static_cast<unsigned>(value);
  }
  return line;
}

std::string usageLine() { return "usage: trenchwalk-idle [SECONDS]"; }

std::string helpText() {
  return usageLine() +
         "\n"
         "Starts the trenchwalk screen saver that lies beside this program once the\n"
         "session has been idle for SECONDS (" +
         std::to_string(kDefaultDelaySeconds) +
         " by default), and again each time the user\n"
         "has been active and then idle that long again. Idle is learnt from the\n"
         "desktop: ext-idle-notify-v1 or org_kde_kwin_idle on Wayland, GNOME's idle\n"
         "monitor on D-Bus, or the X server's idle time. See trenchwalk-idle(1).\n";
}

}  // namespace tw::idle
