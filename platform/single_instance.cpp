#include "platform/single_instance.h"

namespace tw::platform {

QString lockPathIn(const QString& folder) { return folder + QStringLiteral("/walked.log.lock"); }

InstanceLock acquireInstanceLock(QLockFile& lock) {
  // A saver runs for hours: the lock's age must never make it look abandoned.
  lock.setStaleLockTime(0);
  if (lock.tryLock(0)) return InstanceLock::Held;
  return lock.error() == QLockFile::LockFailedError ? InstanceLock::HeldElsewhere
                                                    : InstanceLock::Unavailable;
}

}  // namespace tw::platform
