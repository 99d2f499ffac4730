// The log's folder, held open from start-up to the end of the run. Its path
// for file calls is /proc/self/fd/N, which the kernel resolves to the folder
// this descriptor holds, wherever that folder or the executable is moved or
// renamed meanwhile: the record always goes into the log that start-up
// prepared, never into a file of the same name that took the old place.
#pragma once

#include <string>

#include "common/no_copy.h"

namespace tw::platform {

class HeldFolder : private common::NoCopy {
 public:
  HeldFolder() = default;
  ~HeldFolder();

  // Holds `folder` (empty: none). False when it cannot be opened.
  bool hold(const std::string& folder);
  // The path to work with: bound to the held folder, or, where /proc is not
  // there to bind it or the process has almost no descriptors left, the
  // folder's own path; empty when nothing is held.
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace tw::platform
