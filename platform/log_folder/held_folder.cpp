#include "platform/log_folder/held_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/descriptors.h"

namespace tw::platform {

HeldFolder::~HeldFolder() {
  if (fd_ >= 0) ::close(fd_);
}

bool HeldFolder::hold(const std::string& folder) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
  if (folder.empty()) return false;
  // Qt takes more descriptors once its loop runs (a wake-up for each of its
  // threads, the session bus); a process starved of them keeps its last few
  // for Qt and works with the folder's own path, as it is at start-up.
  constexpr int kHeadroomToHold = 8;
  if (!haveSpareDescriptors(kHeadroomToHold)) {
    path_ = folder;
    return true;
  }
  // O_PATH: the folder is only named through it, never read, so even a folder
  // this user may only pass through can be held.
  fd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return false;
  const std::string bound = "/proc/self/fd/" + std::to_string(fd_);
  struct stat held {
  }, seen{};
  const bool binds = ::fstat(fd_, &held) == 0 && ::stat(bound.c_str(), &seen) == 0 &&
                     held.st_dev == seen.st_dev && held.st_ino == seen.st_ino;
  path_ = binds ? bound : folder;
  return true;
}

}  // namespace tw::platform
