// Reading a small text file that a person writes, such as a settings file,
// without ever blocking on it: a missing file is simply absent, and anything
// else that keeps it from being read is said in one line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tw::common {

// Far more than a settings file needs, and little enough to hold.
inline constexpr std::size_t kSmallFileMostBytes = 64 * 1024;

struct SmallFile {
  std::optional<std::string> text;  // empty when missing or unreadable
  std::string problem;              // why it could not be read; empty when missing
};

// Follows symbolic links (a settings file is often one), but reads only a
// plain file: a FIFO, device or folder in its place is refused unopened or
// without a blocking read, and so is one larger than kSmallFileMostBytes.
SmallFile readSmallFile(const std::string& path);

}  // namespace tw::common
