#include "common/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tw::common {

std::string hashedLockPath(const std::string& folder, const std::string& prefix,
                           const std::string& key) {
  constexpr std::uint64_t kOffsetBasis = 14695981039346656037ULL;
  constexpr std::uint64_t kPrime = 1099511628211ULL;
  constexpr int kTopNibbleShift = 60;
  constexpr int kNibbleBits = 4;
  constexpr std::uint64_t kNibble = 0xF;
  std::uint64_t hash = kOffsetBasis;
  for (const char c : key) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kPrime;
  }
  std::string name = prefix;
  for (int shift = kTopNibbleShift; shift >= 0; shift -= kNibbleBits)
    name += "0123456789abcdef"[(hash >> shift) & kNibble];
  return folder + "/" + name + ".lock";
}

LockFile::~LockFile() {
  if (fd_ >= 0) ::close(fd_);
}

LockOutcome LockFile::tryLock(const std::string& path, mode_t mode, int& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    error = errno;
    return LockOutcome::Unavailable;
  }
  struct stat info {};
  error = 0;
  if (::fstat(fd, &info) != 0)
    error = errno;
  else if (!S_ISREG(info.st_mode))
    error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return LockOutcome::Held;
  }
  if (error == 0) error = errno;
  ::close(fd);
  return error == EWOULDBLOCK ? LockOutcome::HeldElsewhere : LockOutcome::Unavailable;
}

}  // namespace tw::common
