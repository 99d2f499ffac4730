#include "idle/loop/event_loop.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "idle/loop/steady_clock.h"

namespace tw::idle {
namespace {

// poll's timeout until an absolute CLOCK_MONOTONIC deadline, rounded up so
// that the wake-up is never early; -1 when there is none.
int timeoutUntil(std::optional<std::uint64_t> deadlineUs) {
  if (!deadlineUs) return -1;
  const std::uint64_t now = monotonicNowUs();
  if (*deadlineUs <= now) return 0;
  const std::uint64_t ms = (*deadlineUs - now + kUsPerMs - 1) / kUsPerMs;
  return ms > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

// The earlier of two deadlines, either of which may be none.
std::optional<std::uint64_t> earlier(std::optional<std::uint64_t> a,
                                     std::optional<std::uint64_t> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

}  // namespace

bool EventLoop::readSignals() {
  bool keepGoing = true;
  signalfd_siginfo info{};
  while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    if (info.ssi_signo == SIGCHLD) {
      children_.reapEnded();
    } else {
      keepGoing = false;
    }
  }
  return keepGoing;
}

bool EventLoop::sourceLost(const std::string& what) {
  const SourceRetry retry = launcher_.sourceLost(what);
  if (!retry.again) return false;
  lookAtUs_ = monotonicNowUs() + usFromMs(retry.afterMs);
  return true;
}

int EventLoop::run() {
  std::vector<pollfd> watched;
  for (;;) {
    if (!source_ && lookAtUs_ && monotonicNowUs() >= *lookAtUs_) {
      std::string missing;
      source_ = picker_.pick(launcher_, missing);
      if (source_) {
        lookAtUs_.reset();
        launcher_.sourceFound(source_->description());
      } else if (!sourceLost(missing)) {
        return 0;
      }
    }
    extras_.insert(extras_.end(), added_.begin(), added_.end());
    added_.clear();
    PollRequest request;
    bool open = !source_ || source_->prepare(request);
    bool keepGoing = true;
    if (open) {
      // The signals first, then the source, then each extra in its order.
      std::optional<std::uint64_t> deadlineUs = source_ ? request.deadlineUs : lookAtUs_;
      watched.assign({{signalFd_, POLLIN, 0}, {source_ ? request.fd : -1, request.events, 0}});
      for (auto extra = extras_.begin(); extra != extras_.end();) {
        PollRequest asked;
        if (!(*extra)->prepare(asked)) {
          extra = extras_.erase(extra);
          continue;
        }
        watched.push_back({asked.fd, asked.events, 0});
        deadlineUs = earlier(deadlineUs, asked.deadlineUs);
        ++extra;
      }
      const int ready = ::poll(watched.data(), watched.size(), timeoutUntil(deadlineUs));
      if (ready < 0 && errno != EINTR) {
        std::perror("trenchwalk-idle: poll");
        return 1;
      }
      const auto revents = [&](std::size_t at) -> short {
        return ready > 0 ? watched[at].revents : 0;
      };
      if ((revents(0) & POLLIN) != 0) keepGoing = readSignals();
      // Always, even with nothing to read: a Wayland read prepared before
      // poll must be either completed or cancelled.
      if (source_) open = source_->dispatch(revents(1));
      constexpr std::size_t kFirstExtra = 2;
      std::size_t at = kFirstExtra;
      for (auto extra = extras_.begin(); extra != extras_.end(); ++at) {
        if ((*extra)->dispatch(revents(at)))
          ++extra;
        else
          extra = extras_.erase(extra);
      }
    }
    if (!keepGoing) return 0;
    if (!open) {
      const std::string what = source_->description();
      picker_.lost();
      source_.reset();
      if (!sourceLost(what)) return 0;
    }
  }
}

}  // namespace tw::idle
