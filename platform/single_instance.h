// One saver at a time per folder: two copies appending to one walked.log
// would interleave their records.
#pragma once

#include <QLockFile>
#include <QString>

namespace tw::platform {

enum class InstanceLock {
  Held,           // this copy holds the lock
  HeldElsewhere,  // another live copy holds it: this one must leave at once
  Unavailable,    // no lock can be made in the folder: run without one
};

// The lock file's path in a folder.
QString lockPathIn(const QString& folder);
// Tries once, without waiting. A lock left behind by a copy that died is
// taken over; a lock held by a live copy is never taken, however old.
InstanceLock acquireInstanceLock(QLockFile& lock);

}  // namespace tw::platform
