// What a program the launcher starts (the saver, a locker) gets back of the
// signals: the launcher blocks those it reads through a signalfd and ignores
// SIGPIPE; a child gets an empty mask and the default actions.
#pragma once

#include <spawn.h>

#include <csignal>
#include <initializer_list>

namespace tw::idle {

// Sets that on `attributes`, with `moreFlags` (POSIX_SPAWN_SETPGROUP, say)
// for what the caller sets besides.
inline void giveChildTheDefaultSignals(posix_spawnattr_t& attributes, short moreFlags = 0) {
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | moreFlags));
}

}  // namespace tw::idle
