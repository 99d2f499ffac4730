// The saver as a child process: started with posix_spawn from its path, and
// reaped when the loop learns that a child ended.
#pragma once

#include <sys/types.h>

#include <string>

#include "idle/launcher.h"

namespace tw::idle {

class SaverProcess {
 public:
  explicit SaverProcess(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  bool running() const { return pid_ > 0; }
  StartResult start();
  // Ends the running saver the way a key does: SIGTERM, on which it keeps
  // its record.
  void terminate();
  // Collects the saver if it has ended, without waiting; true, with how it
  // ended, when it had.
  bool reap(SaverEnd& end);

 private:
  std::string path_;
  pid_t pid_ = -1;
};

}  // namespace tw::idle
