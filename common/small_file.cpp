#include "common/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tw::common {

namespace {

constexpr std::size_t kReadChunk = 4096;

SmallFile refused(const std::string& why) { return {std::nullopt, why}; }

}  // namespace

SmallFile readSmallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return refused(std::strerror(errno));
  }
  std::string text;
  std::string problem;
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    problem = std::strerror(errno);
  } else if (!S_ISREG(status.st_mode)) {
    problem = "not a plain file";
  } else {
    char buffer[kReadChunk];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        problem = std::strerror(errno);
        break;
      }
      if (got == 0) break;
      text.append(buffer, static_cast<std::size_t>(got));
      if (text.size() > kSmallFileMostBytes) {
        problem = "larger than " + std::to_string(kSmallFileMostBytes / 1024) + " KiB";
        break;
      }
    }
  }
  ::close(fd);
  if (!problem.empty()) return refused(problem);
  return {std::move(text), {}};
}

}  // namespace tw::common
