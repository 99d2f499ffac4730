#include "platform/system/process_limits.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace tw::platform {
namespace {

// Under a limit on its address space (ulimit -v, prlimit --as) Qt and the
// libraries below it fail one allocation or thread somewhere in their start
// and crash (fontconfig reading its configuration, a thread Qt cannot
// start). The saver asks for its room before it starts anything: this much
// more than the program itself takes, which is about twice what one screen,
// its fonts, a box and the report were seen to need.
constexpr size_t kStartRoom = size_t{128} << 20;

void carryOn(int) {}

std::string addressSpaceLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return "memory is short";
  return "its address space is limited to " + std::to_string(limit.rlim_cur >> 20) +
         " MiB (ulimit -v)";
}

}  // namespace

// Midway through a record or before its window shows, either signal would
// kill the saver. Caught by a handler that does nothing, the write fails
// instead (EFBIG, EPIPE: a stderr whose reader has gone), and the log's rules
// deal with that. A handler rather than SIG_IGN: programs the saver starts
// (the desktop's opener of the web page) get the default back at exec, as
// they expect.
void survivePipesAndFileLimits() {
  struct sigaction action {};
  action.sa_handler = carryOn;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  (void)sigaction(SIGPIPE, &action, nullptr);
  (void)sigaction(SIGXFSZ, &action, nullptr);
}

bool roomToStart() {
  void* room =
      ::mmap(nullptr, kStartRoom, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room != MAP_FAILED) {
    ::munmap(room, kStartRoom);
    return true;
  }
  std::fprintf(stderr,
               "trenchwalk: not enough memory to start: %s, and it needs room for about 128 MiB "
               "more than the program itself\n",
               addressSpaceLimit().c_str());
  return false;
}

}  // namespace tw::platform
