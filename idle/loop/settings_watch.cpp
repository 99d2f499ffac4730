#include "idle/loop/settings_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>

namespace tw::idle {

namespace {

// What changes the file's content as a reader sees it: written and closed,
// renamed in or out, made (a symbolic link), removed.
constexpr std::uint32_t kFileEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
// The folder going away or being renamed: watch its parent again.
constexpr std::uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF;
// Room for many events at once; more wait for the next read.
constexpr std::size_t kEventBuffer = 4096;

std::pair<std::string, std::string> split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

SettingsWatch::SettingsWatch(const std::string& path, std::function<void()> changed)
    : changed_(std::move(changed)) {
  std::tie(folder_, fileName_) = split(path);
  std::tie(parent_, folderName_) = split(folder_);
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    problem_ = std::string("inotify: ") + std::strerror(errno);
    return;
  }
  watchFolder();
}

SettingsWatch::~SettingsWatch() {
  if (fd_ >= 0) ::close(fd_);
}

void SettingsWatch::watchFolder() {
  folderWatch_ = ::inotify_add_watch(fd_, folder_.c_str(), kFileEvents | kFolderGone | IN_ONLYDIR);
  if (folderWatch_ >= 0) {
    // The parent (~/.config) sees much else: no longer woken by it.
    if (parentWatch_ >= 0) ::inotify_rm_watch(fd_, parentWatch_);
    parentWatch_ = -1;
    problem_.clear();
    return;
  }
  if (parentWatch_ < 0)
    parentWatch_ = ::inotify_add_watch(fd_, parent_.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
  // Without even the configuration folder (a new account) there is nothing
  // to follow and nothing to say: a file made there later waits for the
  // next start.
  if (parentWatch_ < 0 && errno != ENOENT) problem_ = parent_ + ": " + std::strerror(errno);
}

bool SettingsWatch::prepare(PollRequest& request) {
  if (fd_ < 0) return false;
  request.fd = fd_;
  request.events = POLLIN;
  return true;
}

bool SettingsWatch::dispatch(short revents) {
  if ((revents & POLLIN) == 0) return true;
  bool touched = false;
  bool folderCame = false;
  alignas(inotify_event) char buffer[kEventBuffer];
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const std::string name = event->len > 0 ? event->name : "";
      if (event->wd == folderWatch_ && (event->mask & kFolderGone) != 0) {
        folderWatch_ = -1;
        folderCame = true;  // gone: the parent is watched again below
        touched = true;
      } else if (event->wd == folderWatch_ && name == fileName_) {
        touched = true;
      } else if (event->wd == parentWatch_ && name == folderName_) {
        folderCame = true;
        touched = true;
      }
    }
  }
  if (folderCame && folderWatch_ < 0) watchFolder();
  if (touched) changed_();
  return true;
}

}  // namespace tw::idle
