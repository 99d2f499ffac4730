#include "platform/system/heartbeat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace tw::platform {
namespace {

constexpr int kFirstFreeDescriptor = 3;
constexpr char kBeat = '.';

}  // namespace

std::optional<int> heartbeatDescriptorNamed(const char* value) {
  if (value == nullptr || *value == '\0') return std::nullopt;
  long fd = 0;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    fd = fd * 10 + (*c - '0');
    if (fd > INT_MAX) return std::nullopt;
  }
  if (fd < kFirstFreeDescriptor) return std::nullopt;
  return static_cast<int>(fd);
}

int takeHeartbeatDescriptor() {
  const std::optional<int> named =
      heartbeatDescriptorNamed(std::getenv(common::kHeartbeatVariable));
  ::unsetenv(common::kHeartbeatVariable);
  if (!named) return -1;
  const int fd = *named;
  const int flags = ::fcntl(fd, F_GETFL);
  struct stat info {};
  if (flags < 0 || ::fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode)) return -1;
  const int access = flags & O_ACCMODE;
  if (access != O_WRONLY && access != O_RDWR) return -1;
  if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
    return -1;
  return fd;
}

Heartbeat::~Heartbeat() {
  if (fd_ >= 0) ::close(fd_);
}

void Heartbeat::beat(int64_t nowMs) {
  if (fd_ < 0 || (last_ && nowMs - *last_ < kHeartbeatIntervalMs)) return;
  const ssize_t n = ::write(fd_, &kBeat, 1);
  if (n == 1 || errno == EAGAIN || errno == EINTR) {
    // A full pipe means the launcher has not read for a while; it still
    // knows the saver is alive. The next beat comes a whole interval later.
    last_ = nowMs;
    return;
  }
  // The launcher has gone (EPIPE) or the descriptor is not ours any more.
  if (errno != EBADF) ::close(fd_);
  fd_ = -1;
}

}  // namespace tw::platform
