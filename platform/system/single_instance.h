// One saver at a time per folder: two copies appending to one walked.log
// would interleave their records, and one Escape would end only one of them.
#pragma once

#include <ostream>
#include <string>

namespace tw::platform {

enum class InstanceLock {
  Held,           // this copy holds the lock
  HeldElsewhere,  // another live copy holds it: this one must leave at once
  Unavailable,    // no lock could be made anywhere: run without one
};

// The lock file's path in a folder.
std::string lockPathIn(const std::string& folder);
// The per-user lock for a folder in which no lock file can be made: in the
// user's runtime folder, named from the folder's bytes.
std::string fallbackLockPath(const std::string& runtimeFolder, const std::string& folder);

// A kernel advisory lock (flock) on a lock file, held while this object lives
// and released by the kernel when the process ends however it ends. The lock
// file's content, age and host never matter, so an empty or garbage file, or
// one left by a dead copy or another machine, blocks no one.
class InstanceGuard {
 public:
  InstanceGuard() = default;
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;
  ~InstanceGuard();

  // Tries once, without waiting: first the lock file in the executable's
  // folder (empty: unknown), then, when that file cannot be opened or
  // locked, the per-user lock in runtimeFolder (null or empty: none). Says so
  // in one line on err when no lock can be had at all.
  InstanceLock acquire(const std::string& folder, const char* runtimeFolder, std::ostream& err);
  // The lock file this copy holds, empty if none.
  const std::string& heldPath() const { return heldPath_; }

 private:
  int fd_ = -1;
  std::string heldPath_;
};

}  // namespace tw::platform
