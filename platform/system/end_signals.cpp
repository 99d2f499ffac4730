#include "platform/system/end_signals.h"

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/descriptors.h"

namespace tw::platform {
namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
// Qt's threads that start later (its D-Bus connection's, each with a
// wake-up of its own) abort the program when they find no descriptor; the
// signals' descriptor is taken only when it leaves them this many.
constexpr int kLeftForQtThreads = 4;

sigset_t endSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kEndSignals) sigaddset(&set, signal);
  return set;
}

// The signals of the three that the saver was not told to ignore: started
// in the background by a shell, or under nohup, it keeps ignoring those, as
// every program does.
sigset_t heededEndSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kEndSignals) {
    struct sigaction now {};
    if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) sigaddset(&set, signal);
  }
  return set;
}

// Runs in the child between fork and exec: the program the saver starts (the
// desktop's opener of a web page) must stop on these signals as any program
// does. Only async-signal-safe calls. (An ignored signal stays ignored.)
void unblockInChild() {
  const sigset_t set = endSignalSet();
  (void)pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

EndSignals::EndSignals() {
  sigemptyset(&blocked_);
  const sigset_t set = heededEndSignals();
  if (sigisemptyset(&set) || pthread_atfork(nullptr, nullptr, unblockInChild) != 0) return;
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0) blocked_ = set;
}

void EndSignals::open() {
  if (fd_ >= 0 || sigisemptyset(&blocked_)) return;
  if (haveSpareDescriptors(kLeftForQtThreads + 1))
    fd_ = ::signalfd(-1, &blocked_, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) (void)pthread_sigmask(SIG_UNBLOCK, &blocked_, nullptr);
}

EndSignals::~EndSignals() {
  if (fd_ >= 0) ::close(fd_);
}

bool EndSignals::take() {
  if (fd_ < 0) return false;
  bool any = false;
  signalfd_siginfo info{};
  for (;;) {
    const ssize_t n = ::read(fd_, &info, sizeof info);
    if (n == static_cast<ssize_t>(sizeof info)) {
      any = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return any;
  }
}

}  // namespace tw::platform
