// SIGTERM, SIGHUP and SIGINT (a session or its unit stopping, a terminal
// closed or interrupted) end the saver as a key does, with its record. They
// are never handled where they land: they are blocked in every thread and
// read from a descriptor that the GUI thread's event loop watches, so no
// handler of the saver ever runs in the middle of another.
#pragma once

#include <signal.h>

#include "common/no_copy.h"

namespace tw::platform {

class EndSignals : private common::NoCopy {
 public:
  // Blocks the three signals in the calling thread, and so in every thread
  // started after it (call it before any starts); programs the saver starts
  // get them unblocked again. One that arrives from now on waits for the
  // descriptor.
  EndSignals();
  // Closes the descriptor. The signals stay blocked to the end of the
  // process: one that comes while the program ends changes nothing.
  ~EndSignals();

  // Opens the descriptor the signals are read from. Called once Qt has
  // taken the descriptors it needs to start, and only when enough are left
  // for the threads Qt starts later: under a tight limit the saver would
  // not run at all for want of this one. Without a descriptor the signals
  // get their default action back in the calling thread, the only one that
  // has them unblocked then.
  void open();
  // The descriptor to watch for reading; -1 before open() or without one.
  int fd() const { return fd_; }
  // Reads every signal that has arrived; true when any had. Never blocks.
  bool take();

 private:
  sigset_t blocked_{};
  int fd_ = -1;
};

}  // namespace tw::platform
