#include "idle/saver_process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

extern char** environ;

namespace tw::idle {

StartResult SaverProcess::start() {
  if (pid_ > 0) return {false, "it still runs"};
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return {false, "no memory"};
  // The launcher blocks the signals it reads through a signalfd and ignores
  // SIGPIPE; the saver gets the defaults back.
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string name = "trenchwalk";
  char* arguments[] = {name.data(), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, path_.c_str(), nullptr, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return {false, path_ + ": " + std::strerror(error)};
  pid_ = pid;
  return {true, {}};
}

void SaverProcess::terminate() {
  if (pid_ > 0) ::kill(pid_, SIGTERM);
}

bool SaverProcess::reap(SaverEnd& end) {
  // Only the saver, by its pid: a locker the launcher started is reaped by
  // whoever started it.
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
  pid_ = -1;
  end.signaled = WIFSIGNALED(status);
  end.code = end.signaled ? WTERMSIG(status) : WEXITSTATUS(status);
  return true;
}

}  // namespace tw::idle
