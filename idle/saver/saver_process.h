// The saver as a child process: started with posix_spawn from its path, with
// the write end of a heartbeat pipe as the descriptor and in the variable
// that common/heartbeat.h names, asked to end, and reaped once it has ended.
// While it runs, its heartbeat is read and timed; one asked to end that does
// not is killed. It tells nobody: SaverWatch carries its news to the
// launcher, so that the effects can hold it before the launcher exists.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/no_copy.h"
#include "idle/decide/launcher.h"
#include "idle/decide/monotonic_clock.h"
#include "idle/decide/saver_liveness.h"
#include "idle/loop/watched.h"

namespace tw::idle {

class SaverProcess : private common::NoCopy {
 public:
  SaverProcess(std::string path, MonotonicClock& clock) : path_(std::move(path)), clock_(clock) {}
  ~SaverProcess();

  const std::string& path() const { return path_; }
  bool running() const { return pid_ > 0; }
  StartResult start();
  // SIGTERM, which the saver takes as a key, and SIGCONT so that a stopped
  // one can act on it; SIGKILL kKillAfterMs later if it has not ended.
  void end();
  // Collects the saver if it has ended, without waiting: how it ended.
  std::optional<SaverEnd> reap();

  // While a saver runs: its heartbeat pipe, and when its silence or its
  // slow end is next to be judged.
  void pollHeartbeat(PollRequest& request) const;
  // Reads the beats poll found (revents, for the pipe) and kills a saver
  // that did not end when asked; how long it has been silent when it has
  // just been found hung, once a run.
  std::optional<std::int64_t> heard(short revents);

 private:
  void closeHeartbeat();

  std::string path_;
  MonotonicClock& clock_;
  pid_t pid_ = -1;
  int heartbeat_ = -1;
  SaverLiveness liveness_;
};

}  // namespace tw::idle
