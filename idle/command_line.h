// trenchwalk-idle's command line: an optional delay in seconds, or --help.
#pragma once

#include <string>
#include <vector>

namespace tw::idle {

// GNOME dims the screen at four fifths of its idle delay (300 s by default,
// so at 240 s) and blanks it at the delay; KDE dims at 5 minutes. Three
// minutes puts the saver on the screen before any of them.
inline constexpr unsigned kDefaultDelaySeconds = 180;
// The idle protocols take the delay in milliseconds in 32 bits; a day is far
// longer than any sensible delay and far within that.
inline constexpr unsigned kLongestDelaySeconds = 24 * 60 * 60;

struct CommandLine {
  enum class Action { Run, Help, BadUsage };
  Action action = Action::Run;
  unsigned delaySeconds = kDefaultDelaySeconds;
  std::string error;  // for BadUsage: what was wrong
};

// argv without the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The usage line, and the full help that --help prints.
std::string usageLine();
std::string helpText();

}  // namespace tw::idle
