#include "idle/config/idle_settings.h"

#include <array>
#include <cstddef>

namespace tw::idle {

namespace {

constexpr std::string_view kBlanks = " \t";

enum class Key { Enabled, Delay, LockAfter, Locker };

struct KeyName {
  Key key;
  std::string_view name;
};
constexpr std::array<KeyName, 4> kKeys{{{Key::Enabled, "enabled"},
                                        {Key::Delay, "delay"},
                                        {Key::LockAfter, "lock-after"},
                                        {Key::Locker, "locker"}}};

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Where the comment begins: a `#` at the start or after a blank.
std::size_t commentAt(std::string_view line) {
  for (std::size_t at = 0; at < line.size(); ++at)
    if (line[at] == '#' && (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t')) return at;
  return line.size();
}

// One line cut into its parts; lineEnd holds a CR kept from CR LF.
struct Line {
  std::string_view content;  // before the comment
  std::string_view comment;  // from the `#`, or empty
  std::string_view lineEnd;
};

Line cut(std::string_view raw) {
  Line line;
  if (!raw.empty() && raw.back() == '\r') {
    line.lineEnd = raw.substr(raw.size() - 1);
    raw.remove_suffix(1);
  }
  const std::size_t comment = commentAt(raw);
  line.content = raw.substr(0, comment);
  line.comment = raw.substr(comment);
  return line;
}

std::optional<Key> keyNamed(std::string_view name) {
  for (const KeyName& known : kKeys)
    if (known.name == name) return known.key;
  return std::nullopt;
}

std::string_view nameOf(Key key) {
  for (const KeyName& known : kKeys)
    if (known.key == key) return known.name;
  return {};
}

std::optional<bool> yesOrNo(std::string_view value) {
  if (value == "yes" || value == "on" || value == "true") return true;
  if (value == "no" || value == "off" || value == "false") return false;
  return std::nullopt;
}

// Sets key's value in settings; what is wrong with it, or nothing.
std::optional<std::string> take(Key key, std::string_view value, SettingsFromFile& settings) {
  const std::string text(value);
  switch (key) {
    case Key::Enabled:
      if (const std::optional<bool> on = yesOrNo(value)) {
        settings.enabled = on;
        return std::nullopt;
      }
      return "enabled takes yes or no, not \"" + text + "\"";
    case Key::Delay:
      if (const std::optional<unsigned> seconds = wholeNumber(text, kLongestDelaySeconds);
          seconds && *seconds != 0) {
        settings.delaySeconds = seconds;
        return std::nullopt;
      }
      return "delay takes 1 to " + std::to_string(kLongestDelaySeconds) + " seconds, not \"" +
             text + "\"";
    case Key::LockAfter:
      if (value == "off") {
        settings.lockAfterMinutes = 0;
        return std::nullopt;
      }
      if (const std::optional<unsigned> minutes = wholeNumber(text, kLongestLockAfterMinutes);
          minutes && *minutes != 0) {
        settings.lockAfterMinutes = minutes;
        return std::nullopt;
      }
      return "lock-after takes off or 1 to " + std::to_string(kLongestLockAfterMinutes) +
             " minutes, not \"" + text + "\"";
    case Key::Locker:
      settings.locker = text;
      return std::nullopt;
  }
  return std::nullopt;
}

// Calls each(number, line) for every line of text, numbered from 1; the
// last line need not end in a newline.
template <typename Each>
void forEachLine(std::string_view text, Each each) {
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    each(++number, text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
  }
}

std::string valueOf(Key key, const IdleSettings& settings) {
  switch (key) {
    case Key::Enabled:
      return settings.enabled ? "yes" : "no";
    case Key::Delay:
      return std::to_string(settings.delaySeconds);
    case Key::LockAfter:
      return settings.lockAfterMinutes == 0 ? "off" : std::to_string(settings.lockAfterMinutes);
    case Key::Locker:
      return settings.locker;
  }
  return {};
}

// "key = value", or "key =" for an empty value.
std::string keyLine(Key key, const IdleSettings& settings) {
  const std::string value = valueOf(key, settings);
  return std::string(nameOf(key)) + (value.empty() ? " =" : " = " + value);
}

}  // namespace

SettingsReading parseSettings(std::string_view fileName, std::string_view text) {
  SettingsReading reading;
  forEachLine(text, [&](std::size_t number, std::string_view raw) {
    const std::string_view content = trimmed(cut(raw).content);
    if (content.empty()) return;
    std::optional<std::string> wrong;
    const std::size_t equals = content.find('=');
    const std::string_view name = trimmed(content.substr(0, equals));
    if (equals == std::string_view::npos) {
      wrong = "\"" + std::string(content) + "\" is not a \"key = value\" line";
    } else if (const std::optional<Key> key = keyNamed(name)) {
      wrong = take(*key, trimmed(content.substr(equals + 1)), reading.settings);
    } else {
      wrong = "unknown key \"" + std::string(name) +
              "\" (known: enabled, delay, lock-after, locker)";
    }
    if (wrong)
      reading.warnings.push_back(std::string(fileName) + ":" + std::to_string(number) + ": " +
                                 *wrong + "; the line is ignored");
  });
  return reading;
}

SettingsReading readingOf(const std::string& path, const std::optional<std::string>& text,
                          const std::string& problem) {
  SettingsReading reading;
  if (text) reading = parseSettings(path, *text);
  if (!problem.empty())
    reading.warnings.push_back(path + ": cannot be read (" + problem + "); the defaults apply");
  return reading;
}

IdleSettings settle(const CommandLine& line, const SettingsFromFile& file) {
  IdleSettings settings;
  settings.enabled = file.enabled.value_or(settings.enabled);
  settings.delaySeconds = line.delayGiven ? line.delaySeconds
                                          : file.delaySeconds.value_or(settings.delaySeconds);
  settings.lockAfterMinutes =
      line.lockAfterMinutes != 0 ? line.lockAfterMinutes : file.lockAfterMinutes.value_or(0);
  settings.locker = !line.locker.empty() ? line.locker : file.locker.value_or("");
  return settings;
}

std::string rewriteSettings(std::string_view text, const IdleSettings& settings) {
  std::string written;
  std::array<bool, kKeys.size()> set{};
  forEachLine(text, [&](std::size_t, std::string_view raw) {
    const Line line = cut(raw);
    const std::size_t equals = line.content.find('=');
    const std::optional<Key> key = equals == std::string_view::npos
                                       ? std::nullopt
                                       : keyNamed(trimmed(line.content.substr(0, equals)));
    if (!key) {
      written.append(raw).push_back('\n');
      return;
    }
    set[static_cast<std::size_t>(*key)] = true;
    // The comment keeps its column where the new value leaves room for it.
    const std::string head = keyLine(*key, settings);
    written += head;
    if (!line.comment.empty()) {
      const std::size_t column = line.content.size();
      written.append(column > head.size() ? column - head.size() : 1, ' ');
      written.append(line.comment);
    }
    written.append(line.lineEnd).push_back('\n');
  });
  for (const KeyName& known : kKeys)
    if (!set[static_cast<std::size_t>(known.key)])
      written += keyLine(known.key, settings) + "\n";
  return written;
}

std::optional<std::string> settingsPath(const char* configHome, const char* home) {
  std::string folder;
  if (configHome != nullptr && configHome[0] == '/')
    folder = configHome;
  else if (home != nullptr && home[0] == '/')
    folder = std::string(home) + "/.config";
  else
    return std::nullopt;
  return folder + "/" + std::string(kSettingsFolderName) + "/" + std::string(kSettingsFileName);
}

}  // namespace tw::idle
