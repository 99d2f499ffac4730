#include "idle/inhibit/xdg_screensaver_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "idle/inhibit/xdg_screensaver.h"

namespace tw::idle {
namespace {

// Room for a few events with the longest name each.
constexpr std::size_t kEventBuffer = 4 * (sizeof(inotify_event) + NAME_MAX + 1);
// What changes the record: it is replaced by a rename, and removed when
// empty; a write in place is taken too.
constexpr std::uint32_t kRecordChanges =
    IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE | IN_ONLYDIR;

}  // namespace

XdgScreensaverWatch::XdgScreensaverWatch(Launcher& launcher) : launcher_(launcher) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') return;
  const char* user = std::getenv("USER");
  record_ = xdgScreensaverFile(user != nullptr ? user : "", display);
  folder_ = record_.substr(0, record_.rfind('/'));
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

XdgScreensaverWatch::~XdgScreensaverWatch() {
  if (inotify_ >= 0) ::close(inotify_);
}

bool XdgScreensaverWatch::recordStands() const {
  // The user's own record only, as the inhibition's question reads it.
  struct stat info {};
  return ::lstat(record_.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_uid == ::getuid() && info.st_size > 0;
}

void XdgScreensaverWatch::disarm() {
  if (watch_ >= 0) ::inotify_rm_watch(inotify_, watch_);
  watch_ = -1;
}

bool XdgScreensaverWatch::prepare(PollRequest& request) {
  if (inotify_ < 0) return false;
  if (watch_ < 0 && recordStands()) {
    watch_ = ::inotify_add_watch(inotify_, folder_.c_str(), kRecordChanges);
    // Gone between the look and the watch: it ended unseen, so end it here.
    if (watch_ >= 0 && !recordStands()) {
      disarm();
      launcher_.inhibitionEnded();
    }
  }
  if (watch_ >= 0) {
    request.fd = inotify_;
    request.events = POLLIN;
  }
  return true;
}

bool XdgScreensaverWatch::dispatch(short revents) {
  if (watch_ < 0 || (revents & POLLIN) == 0) return true;
  // The events only say that the folder changed; the record itself says
  // whether it still stands.
  alignas(inotify_event) std::array<char, kEventBuffer> events{};
  while (::read(inotify_, events.data(), events.size()) > 0) {
  }
  if (!recordStands()) {
    disarm();
    launcher_.inhibitionEnded();
  }
  return true;
}

}  // namespace tw::idle
