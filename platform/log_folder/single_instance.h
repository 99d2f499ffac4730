// One saver at a time per folder: two copies appending to one walked.log
// would interleave their records, and one Escape would end only one of them.
#pragma once

#include <ostream>
#include <string>

#include "common/lock_file.h"

namespace tw::platform {

// The lock file's path in a folder.
std::string lockPathIn(const std::string& folder);
// The per-user lock for a folder in which no lock file can be made: in the
// user's runtime folder, named from the folder's bytes.
std::string fallbackLockPath(const std::string& runtimeFolder, const std::string& folder);

// The lock file, held while this object lives.
class InstanceGuard {
 public:
  InstanceGuard() = default;

  // Tries once, without waiting: first the lock file in the executable's
  // folder (empty: unknown), then, when that file cannot be opened or
  // locked, the per-user lock in runtimeFolder (null or empty: none). Says so
  // in one line on err when no lock can be had at all (Unavailable).
  common::LockOutcome acquire(const std::string& folder, const char* runtimeFolder,
                              std::ostream& err);
  // The lock file this copy holds, empty if none.
  const std::string& heldPath() const { return heldPath_; }

 private:
  common::LockOutcome tryLock(const std::string& path, int& error);

  common::LockFile file_;
  std::string heldPath_;
};

}  // namespace tw::platform
