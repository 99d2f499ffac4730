#include "idle/loop/session_lock.h"

#include <sys/stat.h>

#include <cstring>

namespace tw::idle {

std::string sessionLockPath(const std::string& runtimeFolder, const std::string& sessionKey) {
  return common::hashedLockPath(runtimeFolder, "trenchwalk-idle-", sessionKey);
}

SessionLock::Outcome SessionLock::acquire(const std::string& path, std::string& error) {
  // The runtime folder is the user's own; so is the file.
  constexpr mode_t kLockFileMode = 0600;
  int why = 0;
  switch (file_.tryLock(path, kLockFileMode, why)) {
    case common::LockOutcome::Held:
      return Outcome::Held;
    case common::LockOutcome::HeldElsewhere:
      return Outcome::HeldElsewhere;
    case common::LockOutcome::Unavailable:
      break;
  }
  error = path + ": " + (why == EINVAL || why == EISDIR ? "not a plain file" : std::strerror(why));
  return Outcome::Unavailable;
}

}  // namespace tw::idle
