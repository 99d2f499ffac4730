#include "platform/log_folder/single_instance.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "log/log_file.h"

namespace tw::platform {
namespace {

// Anyone may read the lock file of a shared folder; only flock matters.
constexpr mode_t kLockFileMode = 0644;

}  // namespace

std::string lockPathIn(const std::string& folder) {
  return (folder == "/" ? std::string() : folder) + "/" + tw::kLogFileName + ".lock";
}

std::string fallbackLockPath(const std::string& runtimeFolder, const std::string& folder) {
  return common::hashedLockPath(runtimeFolder, "trenchwalk-", folder);
}

common::LockOutcome InstanceGuard::tryLock(const std::string& path, int& error) {
  const common::LockOutcome lock = file_.tryLock(path, kLockFileMode, error);
  if (lock == common::LockOutcome::Held) heldPath_ = path;
  return lock;
}

common::LockOutcome InstanceGuard::acquire(const std::string& folder, const char* runtimeFolder,
                                    std::ostream& err) {
  std::string tried;
  if (!folder.empty()) {
    const std::string path = lockPathIn(folder);
    int error = 0;
    const common::LockOutcome lock = tryLock(path, error);
    if (lock != common::LockOutcome::Unavailable) return lock;
    tried = path + ": " + std::strerror(error);
  }
  if (runtimeFolder != nullptr && runtimeFolder[0] == '/') {
    const std::string path = fallbackLockPath(runtimeFolder, folder);
    int error = 0;
    const common::LockOutcome lock = tryLock(path, error);
    if (lock != common::LockOutcome::Unavailable) return lock;
    tried += (tried.empty() ? "" : "; ") + path + ": " + std::strerror(error);
  } else {
    tried += (tried.empty() ? "" : "; ") + std::string("XDG_RUNTIME_DIR is not set");
  }
  err << "trenchwalk: running without the single-instance lock (" << tried << ")\n";
  return common::LockOutcome::Unavailable;
}

}  // namespace tw::platform
