// trenchwalk-idle's command line: an optional delay in seconds, a lock after
// the saver has run a while, --status or --help.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tw::idle {

// GNOME blanks the screen at its idle delay (300 s by default) and, with a
// backlight, dims it earlier: at four fifths of the delay (240 s) in older
// releases, at half (150 s) in newer ones. KDE dims at 5 minutes. Three
// minutes is before any blank and the older dim, and leaves the saver two
// minutes on the screen before GNOME blanks it.
inline constexpr unsigned kDefaultDelaySeconds = 180;
// The idle protocols take the delay in milliseconds in 32 bits; a day is far
// longer than any sensible delay and far within that.
inline constexpr unsigned kLongestDelaySeconds = 24 * 60 * 60;
// --lock-after takes whole minutes, up to a day.
inline constexpr unsigned kLongestLockAfterMinutes = 24 * 60;

struct CommandLine {
  enum class Action { Run, Status, Help, BadUsage };
  Action action = Action::Run;
  unsigned delaySeconds = kDefaultDelaySeconds;
  bool delayGiven = false;        // so that the settings file's delay gives way
  unsigned lockAfterMinutes = 0;  // 0: never lock
  std::string locker;             // a shell command; empty: the desktop's own
  std::string error;  // for BadUsage: what was wrong
};

// Digits only, up to most: no sign, no spaces, no unit, no hexadecimal.
std::optional<unsigned> wholeNumber(const std::string& text, unsigned most);

// argv without the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The usage line, and the full help that --help prints.
std::string usageLine();
std::string helpText();

}  // namespace tw::idle
