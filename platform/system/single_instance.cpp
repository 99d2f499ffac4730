#include "platform/system/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tw::platform {
namespace {

// One outcome of trying a lock file: the lock, someone else's, or an error.
struct Attempt {
  InstanceLock lock = InstanceLock::Unavailable;
  int fd = -1;
  int error = 0;
};

Attempt tryLockFile(const std::string& path) {
  // Read-only is enough for flock, so a lock file another user made still
  // works; O_NONBLOCK keeps a FIFO in its place from blocking, O_NOFOLLOW
  // keeps a planted symlink from being followed.
  constexpr mode_t kLockFileMode = 0644;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC,
                        kLockFileMode);
  if (fd < 0) return {InstanceLock::Unavailable, -1, errno};
  struct stat info {};
  int error = 0;
  if (::fstat(fd, &info) != 0)
    error = errno;
  else if (!S_ISREG(info.st_mode))
    error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  if (error != 0) {
    ::close(fd);
    return {InstanceLock::Unavailable, -1, error};
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {InstanceLock::Held, fd, 0};
  error = errno;
  ::close(fd);
  if (error == EWOULDBLOCK) return {InstanceLock::HeldElsewhere, -1, error};
  return {InstanceLock::Unavailable, -1, error};
}

}  // namespace

std::string lockPathIn(const std::string& folder) {
  return (folder == "/" ? std::string() : folder) + "/walked.log.lock";
}

std::string fallbackLockPath(const std::string& runtimeFolder, const std::string& folder) {
  // FNV-1a over the folder's bytes: the same folder always gives the same
  // name, whatever its encoding.
  constexpr uint64_t kOffsetBasis = 14695981039346656037ULL;
  constexpr uint64_t kPrime = 1099511628211ULL;
  uint64_t hash = kOffsetBasis;
  for (const char c : folder) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kPrime;
  }
  std::string name = "trenchwalk-";
  for (int shift = 60; shift >= 0; shift -= 4) name += "0123456789abcdef"[(hash >> shift) & 0xF];
  return runtimeFolder + "/" + name + ".lock";
}

InstanceGuard::~InstanceGuard() {
  if (fd_ >= 0) ::close(fd_);
}

InstanceLock InstanceGuard::acquire(const std::string& folder, const char* runtimeFolder,
                                    std::ostream& err) {
  std::string tried;
  if (!folder.empty()) {
    const std::string path = lockPathIn(folder);
    const Attempt attempt = tryLockFile(path);
    if (attempt.lock == InstanceLock::Held) {
      fd_ = attempt.fd;
      heldPath_ = path;
    }
    if (attempt.lock != InstanceLock::Unavailable) return attempt.lock;
    tried = path + ": " + std::strerror(attempt.error);
  }
  if (runtimeFolder != nullptr && runtimeFolder[0] == '/') {
    const std::string path = fallbackLockPath(runtimeFolder, folder);
    const Attempt attempt = tryLockFile(path);
    if (attempt.lock == InstanceLock::Held) {
      fd_ = attempt.fd;
      heldPath_ = path;
    }
    if (attempt.lock != InstanceLock::Unavailable) return attempt.lock;
    tried += (tried.empty() ? "" : "; ") + path + ": " + std::strerror(attempt.error);
  } else {
    tried += (tried.empty() ? "" : "; ") + std::string("XDG_RUNTIME_DIR is not set");
  }
  err << "trenchwalk: running without the single-instance lock (" << tried << ")\n";
  return InstanceLock::Unavailable;
}

}  // namespace tw::platform
