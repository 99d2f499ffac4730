#include "bench/bench_trace.h"

#include <time.h>
#include <unistd.h>

#include <charconv>

namespace tw::bench {
namespace {

// Lines are kept and written about once a second, so that the trace adds no
// system call to most ticks and disturbs the figures it helps to measure as
// little as it can. A killed program loses at most the last second.
constexpr int64_t kFlushEveryUs = 1'000'000;

}  // namespace

BenchTrace::BenchTrace() { buffer_.reserve(16384); }

BenchTrace::~BenchTrace() { flush(); }

int64_t BenchTrace::realtimeUs() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

void BenchTrace::beforeTick(const Timers& timers, int64_t nowNs) {
  const int64_t nowMs = nowNs / 1'000'000;
  for (TimerId id : kTimerIds) {
    const Timer& t = timers[id];
    const size_t n = static_cast<size_t>(id);
    due_[n] = t.running() && t.due() <= nowMs;
    dueMs_[n] = t.due();
    lateUs_[n] = nowNs / 1000 - t.due() * 1000;
  }
}

void BenchTrace::afterTick(const Timers& timers) {
  const int64_t now = realtimeUs();
  for (TimerId id : kTimerIds) {
    const size_t n = static_cast<size_t>(id);
    if (!due_[n]) continue;
    if (buffer_.empty()) bufferedSinceUs_ = now;
    // Formatted by hand rather than with printf: the trace is measured along
    // with the saver, and printf's code is a lot to bring in every tick.
    append("tick ");
    append(now);
    append(" ");
    // Numbered from 1, in tick order, as bench/x11_cost.sh reads them.
    append(static_cast<int64_t>(n) + 1);
    append(" ");
    append(lateUs_[n]);
    append(timers.walkTimer.running() ? " 1" : " 0");
    append(timers.fallTimer.running() ? " 1 " : " 0 ");
    append(timers.fallTimer.interval());
    append(" ");
    append(dueMs_[n]);
    append("\n");
  }
  if (!buffer_.empty() && (now - bufferedSinceUs_ >= kFlushEveryUs || buffer_.size() > 12000)) flush();
}

void BenchTrace::append(std::string_view text) { buffer_.append(text); }

void BenchTrace::append(int64_t number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  buffer_.append(digits, end);
}

void BenchTrace::firstFrame() {
  append("first-frame ");
  append(realtimeUs());
  append("\n");
  flush();
}

void BenchTrace::flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(STDERR_FILENO, buffer_.data() + done, buffer_.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
}

}  // namespace tw::bench

namespace tw::platform {

std::unique_ptr<TickObserver> makeTickObserver() { return std::make_unique<bench::BenchTrace>(); }

}  // namespace tw::platform
