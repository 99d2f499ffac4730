#include "idle/sources/wayland_connection.h"

#include <poll.h>

#include <cerrno>
#include <cstdlib>

namespace tw::idle {

WaylandConnection::WaylandConnection(const wl_registry_listener& listener, void* data) {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    failure_ = "WAYLAND_DISPLAY is not set";
    return;
  }
  displayName_ = name;
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) {
    failure_ = "no Wayland compositor answers at WAYLAND_DISPLAY=" + displayName_;
    return;
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &listener, data);
}

WaylandConnection::~WaylandConnection() {
  if (display_ == nullptr) return;
  if (readPrepared_) wl_display_cancel_read(display_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

bool WaylandConnection::prepare(PollRequest& request) {
  while (wl_display_prepare_read(display_) != 0)
    if (wl_display_dispatch_pending(display_) < 0) return false;
  readPrepared_ = true;
  request.fd = wl_display_get_fd(display_);
  request.events = POLLIN;
  if (wl_display_flush(display_) < 0) {
    if (errno != EAGAIN) return false;
    request.events |= POLLOUT;
  }
  return true;
}

bool WaylandConnection::dispatch(short revents) {
  readPrepared_ = false;
  if ((revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    if (wl_display_read_events(display_) < 0) return false;
  } else {
    wl_display_cancel_read(display_);
  }
  return wl_display_dispatch_pending(display_) >= 0;
}

}  // namespace tw::idle
