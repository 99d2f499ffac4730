// Follows the settings file while the launcher runs: reads it again when it
// changed and hands what changed to the launcher (on or off, the delay, the
// lock's time), the lock request (the locker) and the desktop (the delay for
// a source found later). The command line's options stay as given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "idle/config/idle_settings.h"
#include "idle/decide/command_line.h"

namespace tw::idle {

class Launcher;
class LockRequest;

// The settings at the start: the file's under the command line's, its
// warnings printed; present says whether the file was there.
IdleSettings readIdleSettings(const std::string& path, const CommandLine& line, bool& present);

// One line saying what now holds, for the launcher's output.
std::string describeSettings(const std::string& path, const IdleSettings& settings);

class SettingsFollower {
 public:
  SettingsFollower(std::string path, CommandLine line, IdleSettings now, Launcher& launcher,
                   LockRequest& lockRequest, std::function<void(std::uint32_t)> newDelayMs)
      : path_(std::move(path)),
        line_(std::move(line)),
        now_(std::move(now)),
        launcher_(launcher),
        lockRequest_(lockRequest),
        newDelayMs_(std::move(newDelayMs)) {}

  // The file may have changed: reads it and applies what did.
  void reread();

 private:
  std::string path_;
  CommandLine line_;
  IdleSettings now_;
  Launcher& launcher_;
  LockRequest& lockRequest_;
  std::function<void(std::uint32_t)> newDelayMs_;
};

}  // namespace tw::idle
