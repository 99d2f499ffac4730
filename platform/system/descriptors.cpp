#include "platform/system/descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace tw::platform {

bool haveSpareDescriptors(int wanted) {
  std::vector<int> opened;
  opened.reserve(static_cast<size_t>(wanted > 0 ? wanted : 0));
  while (static_cast<int>(opened.size()) < wanted) {
    // O_PATH on the root folder: no device, no permission, nothing read.
    const int fd = ::open("/", O_PATH | O_CLOEXEC);
    if (fd < 0) break;
    opened.push_back(fd);
  }
  const bool enough = static_cast<int>(opened.size()) >= wanted;
  for (const int fd : opened) ::close(fd);
  return enough;
}

}  // namespace tw::platform
