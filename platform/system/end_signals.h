// SIGTERM, SIGHUP and SIGINT (a session or its unit stopping, a terminal
// closed or interrupted) end the saver as a key does, with its record. They
// are never handled where they land: they are blocked in every thread and
// read from a descriptor that the GUI thread's event loop watches, so no
// handler of the saver ever runs in the middle of another.
#pragma once

namespace tw::platform {

class EndSignals {
 public:
  // Blocks the three signals in the calling thread, and so in every thread
  // started after it (call it before any starts), and opens the descriptor
  // they are read from. Programs the saver starts get them unblocked again.
  // Without a descriptor they keep their default action.
  EndSignals();
  // Closes the descriptor. The signals stay blocked to the end of the
  // process: one that comes while the program ends changes nothing.
  ~EndSignals();
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

  // The descriptor to watch for reading; -1 when there is none.
  int fd() const { return fd_; }
  // Reads every signal that has arrived; true when any had. Never blocks.
  bool take();

 private:
  int fd_ = -1;
};

}  // namespace tw::platform
