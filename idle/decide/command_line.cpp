#include "idle/decide/command_line.h"

#include <optional>
#include <string>
#include <utility>

namespace tw::idle {

namespace {

CommandLine bad(std::string why) {
  CommandLine line;
  line.action = CommandLine::Action::BadUsage;
  line.error = std::move(why);
  return line;
}

}  // namespace

std::optional<unsigned> wholeNumber(const std::string& text, unsigned most) {
  constexpr unsigned kDecimal = 10;
  unsigned long long number = 0;
  if (text.empty()) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * kDecimal + static_cast<unsigned>(c - '0');
    if (number > most) return std::nullopt;
  }
  return static_cast<unsigned>(number);
}

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool lockerGiven = false;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--help" || argument == "-h") {
      if (arguments.size() > 1) return bad("--help goes alone");
      line.action = CommandLine::Action::Help;
      return line;
    }
    if (argument == "--status") {
      if (arguments.size() > 1) return bad("--status goes alone");
      line.action = CommandLine::Action::Status;
      return line;
    }
    if (argument == "--lock-after" || argument == "--locker") {
      if (at + 1 == arguments.size()) return bad(argument + " needs a value");
      const std::string& value = arguments[++at];
      if (argument == "--locker") {
        if (lockerGiven) return bad("--locker given twice");
        if (value.find_first_not_of(" \t") == std::string::npos)
          return bad("--locker needs a command");
        lockerGiven = true;
        line.locker = value;
      } else {
        if (line.lockAfterMinutes != 0) return bad("--lock-after given twice");
        line.lockAfterMinutes = wholeNumber(value, kLongestLockAfterMinutes).value_or(0);
        if (line.lockAfterMinutes == 0)
          return bad("--lock-after takes 1 to " + std::to_string(kLongestLockAfterMinutes) +
                     " minutes, not \"" + value + "\"");
      }
      continue;
    }
    if (line.delayGiven) return bad("one delay at most");
    line.delayGiven = true;
    bool digits = !argument.empty() &&
                  argument.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) return bad("\"" + argument + "\" is not a whole number of seconds");
    const std::optional<unsigned> delay = wholeNumber(argument, kLongestDelaySeconds);
    if (!delay || *delay == 0) {
      line = bad("the delay must be 1 to " + std::to_string(kLongestDelaySeconds) + " seconds");
      return line;
    }
    line.delaySeconds = *delay;
  }
  if (lockerGiven && line.lockAfterMinutes == 0) return bad("--locker needs --lock-after");
  return line;
}

std::string usageLine() {
  return "usage: trenchwalk-idle [SECONDS] [--lock-after MINUTES [--locker COMMAND]] | --status";
}

std::string helpText() {
  return usageLine() +
         "\n"
         "Starts the trenchwalk screen saver that lies beside this program once the\n"
         "session has been idle for SECONDS (" +
         std::to_string(kDefaultDelaySeconds) +
         " by default), and again each time the user\n"
         "has been active and then idle that long again. Idle is learnt from the\n"
         "desktop: ext-idle-notify-v1 or org_kde_kwin_idle on Wayland, GNOME's idle\n"
         "monitor on D-Bus, or the X server's idle time. Nothing starts while an\n"
         "application inhibits idle (org.freedesktop.ScreenSaver, which it answers\n"
         "where the desktop does not, logind, KDE, GNOME, xdg-screensaver).\n"
         "  --lock-after MINUTES  once the saver has run that long, lock the session\n"
         "                        with the desktop's locker (GNOME, KDE, logind)\n"
         "  --locker COMMAND      ... or with this one (say 'swaylock -f')\n"
         "  --status              print in one line what it sees now, and leave\n"
         "See trenchwalk-idle(1).\n";
}

}  // namespace tw::idle
