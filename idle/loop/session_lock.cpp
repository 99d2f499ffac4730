#include "idle/loop/session_lock.h"

#include <sys/stat.h>

#include <cstring>

namespace tw::idle {

std::string sessionLockPath(const std::string& runtimeFolder, const std::string& sessionKey) {
  return common::hashedLockPath(runtimeFolder, "trenchwalk-idle-", sessionKey);
}

common::LockOutcome SessionLock::acquire(const std::string& path, std::string& error) {
  // The runtime folder is the user's own; so is the file.
  constexpr mode_t kLockFileMode = 0600;
  int why = 0;
  const common::LockOutcome lock = file_.tryLock(path, kLockFileMode, why);
  if (lock == common::LockOutcome::Unavailable)
    error =
        path + ": " + (why == EINVAL || why == EISDIR ? "not a plain file" : std::strerror(why));
  return lock;
}

}  // namespace tw::idle
