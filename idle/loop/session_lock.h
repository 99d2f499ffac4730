// One launcher per session: a lock file in the user's runtime folder, named
// from the session's display, held for the launcher's life.
#pragma once

#include <optional>
#include <string>

#include "common/lock_file.h"

namespace tw::idle {

// The lock file for a session key in a runtime folder: the key's bytes
// hashed, so any display name gives a plain file name.
std::string sessionLockPath(const std::string& runtimeFolder, const std::string& sessionKey);

// The process that holds the lock at path now, as the kernel lists it in
// /proc/locks; empty when none holds it. Only looks, so a launcher starting
// at that moment is never kept from taking it.
std::optional<long> sessionLockHolder(const std::string& path);

class SessionLock {
 public:
  // Tries once, without waiting. Unavailable comes with why in `error`.
  common::LockOutcome acquire(const std::string& path, std::string& error);

 private:
  common::LockFile file_;
};

}  // namespace tw::idle
