#include "idle/inhibit/xdg_screensaver.h"

#include <sstream>

#include "idle/decide/inhibitor_registry.h"

namespace tw::idle {

std::string xdgScreensaverFile(const std::string& user, const std::string& display) {
  std::string name = display;
  for (char& c : name)
    if (c == ':') c = '-';
  return "/tmp/xdg-screensaver-" + user + "-" + name;
}

std::vector<std::string> xdgSuspendedWindows(const std::string& record,
                                             bool (*isWatcher)(long pid)) {
  std::vector<std::string> windows;
  std::stringstream lines(record);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos || colon + 1 == line.size()) continue;
    const std::string pid = line.substr(colon + 1);
    // A pid is a positive number of at most seven digits (pid_max is 2^22).
    constexpr std::size_t kLongestPid = 7;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > kLongestPid)
      continue;
    if (isWatcher(std::stol(pid))) windows.push_back(oneLineText(line.substr(0, colon)));
  }
  return windows;
}

}  // namespace tw::idle
