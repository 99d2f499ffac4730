// The settings file, $XDG_CONFIG_HOME/trenchwalk/idle.conf: `key = value`
// lines in the command line's own units, `#` comments and blank lines. Read
// here without touching the disk, merged with the command line (which wins),
// and written back by the settings window with every line it does not set
// kept as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "idle/decide/command_line.h"

namespace tw::idle {

// The file's folder under the configuration folder, and its name there.
inline constexpr std::string_view kSettingsFolderName = "trenchwalk";
inline constexpr std::string_view kSettingsFileName = "idle.conf";

// What the launcher follows.
struct IdleSettings {
  bool enabled = true;  // false: the launcher runs but starts nothing
  unsigned delaySeconds = kDefaultDelaySeconds;
  unsigned lockAfterMinutes = 0;  // 0: never lock
  std::string locker;             // a shell command; empty: the desktop's own
  bool operator==(const IdleSettings&) const = default;
};

// What one file says; a key it does not set (or sets badly) stays empty.
struct SettingsFromFile {
  std::optional<bool> enabled;
  std::optional<unsigned> delaySeconds;
  std::optional<unsigned> lockAfterMinutes;
  std::optional<std::string> locker;
};

struct SettingsReading {
  SettingsFromFile settings;
  // One line per bad line: "FILE:LINE: what is wrong".
  std::vector<std::string> warnings;
};

// Reads the text of the file named fileName (the name only goes into the
// warnings). A `#` at the start of a line or after a space or tab begins a
// comment, so a locker command keeps a `#` inside a word. A bad line is
// skipped with one warning and the rest still applies; a key given twice
// takes the last value.
SettingsReading parseSettings(std::string_view fileName, std::string_view text);

// The reading of the file at path: its text parsed when it could be read,
// else nothing, with one warning when it exists but could not be read
// (problem says why; empty for a missing file).
SettingsReading readingOf(const std::string& path, const std::optional<std::string>& text,
                          const std::string& problem);

// The command line's options, then the file's, then the defaults.
IdleSettings settle(const CommandLine& line, const SettingsFromFile& file);

// The text with each key's value set to settings' (each line of a key given
// twice), comments, blank lines and unknown lines kept as they were, and the
// keys the text lacked added at its end.
std::string rewriteSettings(std::string_view text, const IdleSettings& settings);

// The file's path: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config; empty when neither is usable. Either may be null.
std::optional<std::string> settingsPath(const char* configHome, const char* home);

}  // namespace tw::idle
