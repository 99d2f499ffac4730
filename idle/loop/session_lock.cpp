#include "idle/loop/session_lock.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace tw::idle {

std::string sessionLockPath(const std::string& runtimeFolder, const std::string& sessionKey) {
  return common::hashedLockPath(runtimeFolder, "trenchwalk-idle-", sessionKey);
}

std::optional<long> sessionLockHolder(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return std::nullopt;
  // "1: FLOCK  ADVISORY  WRITE 4242 08:01:123456 0 EOF"; a waiter's line has
  // "->" before FLOCK and is not matched.
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    char kind[16] = {};
    long pid = 0;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long inode = 0;
    constexpr int kFields = 5;
    if (std::sscanf(line.c_str(), "%*s %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &major, &minor,
                    &inode) == kFields &&
        std::strcmp(kind, "FLOCK") == 0 && inode == file.st_ino &&
        major == ::major(file.st_dev) && minor == ::minor(file.st_dev))
      return pid;
  }
  return std::nullopt;
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
