// One copy at a time: a kernel advisory lock (flock) on a file, held while
// the descriptor is open and released by the kernel when the process ends
// however it ends. The file's content, age and host never matter, so an
// empty or garbage file, or one a dead copy left, blocks no one. The saver
// holds one per log folder, the idle launcher one per session.
#pragma once

#include <sys/types.h>

#include <string>

#include "common/no_copy.h"

namespace tw::common {

// A lock file's name in a folder for a key of any bytes (a display name, a
// folder that need not be UTF-8): prefix, the key's FNV-1a hash in sixteen
// hexadecimal digits, ".lock". The same key always gives the same name.
std::string hashedLockPath(const std::string& folder, const std::string& prefix,
                           const std::string& key);

enum class LockOutcome {
  Held,           // this process holds the lock
  HeldElsewhere,  // another live process holds it: this one must leave at once
  Unavailable,    // the file cannot be made, opened or locked: run without one
};

class LockFile : private NoCopy {
 public:
  LockFile() = default;
  ~LockFile();

  // Tries once, without waiting, to lock the plain file at path, making it
  // with mode if it is missing. Read-only is enough for flock, so a file
  // another user made still works; O_NONBLOCK keeps a FIFO in its place from
  // blocking, O_NOFOLLOW keeps a planted symlink from being followed, and
  // close-on-exec keeps the programs this one starts from holding it. On
  // Unavailable, error is the errno (EISDIR for a folder, EINVAL for another
  // kind of file).
  LockOutcome tryLock(const std::string& path, mode_t mode, int& error);
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace tw::common
