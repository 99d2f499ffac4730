// One launcher per session: a kernel lock (flock) on a file in the user's
// runtime folder, named from the session's display, held for the launcher's
// life and let go by the kernel however it ends.
#pragma once

#include <string>

namespace tw::idle {

// The lock file for a session key in a runtime folder: the key's bytes
// hashed, so any display name gives a plain file name.
std::string sessionLockPath(const std::string& runtimeFolder, const std::string& sessionKey);

class SessionLock {
 public:
  enum class Outcome { Held, HeldElsewhere, Unavailable };

  SessionLock() = default;
  ~SessionLock();
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

  // Tries once, without waiting. Unavailable comes with why in `error`.
  Outcome acquire(const std::string& path, std::string& error);

 private:
  int fd_ = -1;
};

}  // namespace tw::idle
