#include "idle/session_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tw::idle {

std::string sessionLockPath(const std::string& runtimeFolder, const std::string& sessionKey) {
  // FNV-1a: the same key always gives the same name.
  constexpr std::uint64_t kOffsetBasis = 14695981039346656037ULL;
  constexpr std::uint64_t kPrime = 1099511628211ULL;
  constexpr int kTopNibbleShift = 60;
  constexpr int kNibbleBits = 4;
  constexpr std::uint64_t kNibble = 0xF;
  std::uint64_t hash = kOffsetBasis;
  for (const char c : sessionKey) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kPrime;
  }
  std::string name = "trenchwalk-idle-";
  for (int shift = kTopNibbleShift; shift >= 0; shift -= kNibbleBits)
    name += "0123456789abcdef"[(hash >> shift) & kNibble];
  return runtimeFolder + "/" + name + ".lock";
}

SessionLock::~SessionLock() {
  if (fd_ >= 0) ::close(fd_);
}

SessionLock::Outcome SessionLock::acquire(const std::string& path, std::string& error) {
  constexpr mode_t kLockFileMode = 0600;
  // Close-on-exec: the saver it starts must not hold the launcher's lock.
  const int fd =
      ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, kLockFileMode);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return Outcome::Unavailable;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = path + ": not a plain file";
    ::close(fd);
    return Outcome::Unavailable;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    fd_ = fd;
    return Outcome::Held;
  }
  const int why = errno;
  ::close(fd);
  if (why == EWOULDBLOCK) return Outcome::HeldElsewhere;
  error = path + ": " + std::strerror(why);
  return Outcome::Unavailable;
}

}  // namespace tw::idle
