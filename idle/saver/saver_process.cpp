#include "idle/saver/saver_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "common/heartbeat.h"
#include "idle/loop/child_signals.h"
#include "idle/loop/steady_clock.h"

extern char** environ;

namespace tw::idle {
namespace {

// What one read of the heartbeat pipe takes at most; beats are single bytes.
constexpr std::size_t kReadChunk = 64;

}  // namespace

SaverProcess::~SaverProcess() { closeHeartbeat(); }

void SaverProcess::closeHeartbeat() {
  if (heartbeat_ >= 0) ::close(heartbeat_);
  heartbeat_ = -1;
}

StartResult SaverProcess::start() {
  if (pid_ > 0) return {false, "it still runs"};
  // Both ends close on exec and never block: a saver whose launcher stopped
  // reading loses beats, never its event loop. The write end reaches the
  // saver only as its descriptor 3, by the spawn's dup2.
  std::array<int, 2> pipe{-1, -1};
  if (::pipe2(pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
    return {false, std::string("no heartbeat pipe: ") + std::strerror(errno)};
  int writeEnd = pipe[1];
  if (writeEnd == common::kHeartbeatFd) {
    // dup2 onto itself would leave close-on-exec set.
    writeEnd = ::fcntl(pipe[1], F_DUPFD_CLOEXEC, common::kHeartbeatFd + 1);
    ::close(pipe[1]);
    if (writeEnd < 0) {
      ::close(pipe[0]);
      return {false, std::string("no heartbeat pipe: ") + std::strerror(errno)};
    }
  }

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    ::close(pipe[0]);
    ::close(writeEnd);
    return {false, "no memory"};
  }
  giveChildTheDefaultSignals(attributes);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writeEnd, common::kHeartbeatFd);

  // The launcher's environment, with the heartbeat's variable set to ours
  // whatever it said before.
  const std::string prefix = std::string(common::kHeartbeatVariable) + "=";
  std::string variable = prefix + std::to_string(common::kHeartbeatFd);
  std::vector<char*> environment;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) environment.push_back(*entry);
  environment.push_back(variable.data());
  environment.push_back(nullptr);

  std::string name = "trenchwalk";
  char* arguments[] = {name.data(), nullptr};
  pid_t pid = -1;
  const int error =
      posix_spawn(&pid, path_.c_str(), &actions, &attributes, arguments, environment.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(writeEnd);
  if (error != 0) {
    ::close(pipe[0]);
    return {false, path_ + ": " + std::strerror(error)};
  }
  pid_ = pid;
  heartbeat_ = pipe[0];
  liveness_.started(clock_.nowMs());
  return {true, {}};
}

void SaverProcess::end() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::kill(pid_, SIGCONT);
  liveness_.endAsked(clock_.nowMs());
}

std::optional<SaverEnd> SaverProcess::reap() {
  // Only the saver, by its pid: a locker the launcher started is reaped by
  // the request that started it, which must learn how it ended.
  int status = 0;
  if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return std::nullopt;
  pid_ = -1;
  closeHeartbeat();
  liveness_.ended();
  SaverEnd end;
  end.signaled = WIFSIGNALED(status);
  end.code = end.signaled ? WTERMSIG(status) : WEXITSTATUS(status);
  return end;
}

void SaverProcess::pollHeartbeat(PollRequest& request) const {
  if (pid_ <= 0) return;
  if (heartbeat_ >= 0) {
    request.fd = heartbeat_;
    request.events = POLLIN;
  }
  // The launcher's clock is CLOCK_MONOTONIC in milliseconds, as the loop's
  // deadlines are in microseconds.
  const std::optional<std::int64_t> due = liveness_.dueMs();
  if (due && *due >= 0) request.deadlineUs = usFromMs(*due);
}

std::optional<std::int64_t> SaverProcess::heard(short revents) {
  if (pid_ <= 0) return std::nullopt;
  if (heartbeat_ >= 0 && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
    std::array<char, kReadChunk> bytes{};
    for (;;) {
      const ssize_t got = ::read(heartbeat_, bytes.data(), bytes.size());
      if (got > 0) {
        liveness_.beat(clock_.nowMs());
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      // Closed by the saver: no more beats will come, and its silence counts.
      if (got == 0 || errno != EAGAIN) closeHeartbeat();
      break;
    }
  }
  const std::int64_t now = clock_.nowMs();
  switch (liveness_.check(now)) {
    case SaverLiveness::Verdict::Fine:
      break;
    case SaverLiveness::Verdict::Hung:
      return liveness_.silentMs(now);
    case SaverLiveness::Verdict::Kill:
      ::kill(pid_, SIGKILL);
      break;
  }
  return std::nullopt;
}

}  // namespace tw::idle
