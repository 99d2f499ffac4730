#include "common/executable_folder.h"

#include <unistd.h>

#include <vector>

namespace tw::common {

std::string executableFolderFrom(const char* exeLink) {
  constexpr size_t kFirstGuess = 256;
  // A path cannot be longer than this; a link that claims more is not believed.
  constexpr size_t kLongestPath = 1 << 16;
  std::vector<char> buffer(kFirstGuess);
  for (;;) {
    const ssize_t length = ::readlink(exeLink, buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<size_t>(length));
      const size_t slash = path.rfind('/');
      if (slash == std::string::npos || path.front() != '/') return {};
      return slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    if (buffer.size() >= kLongestPath) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string executableFolder() { return executableFolderFrom("/proc/self/exe"); }

}  // namespace tw::common
