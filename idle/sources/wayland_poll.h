// How a Wayland connection of the launcher takes its turn in the event loop:
// a read prepared before poll (dispatching what is already queued), and
// after it either completed or cancelled, whatever woke the loop.
#pragma once

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>

#include "idle/loop/watched.h"

namespace tw::idle {

inline bool prepareWaylandPoll(wl_display* display, bool& readPrepared, PollRequest& request) {
  while (wl_display_prepare_read(display) != 0)
    if (wl_display_dispatch_pending(display) < 0) return false;
  readPrepared = true;
  request.fd = wl_display_get_fd(display);
  request.events = POLLIN;
  if (wl_display_flush(display) < 0) {
    if (errno != EAGAIN) return false;
    request.events |= POLLOUT;
  }
  return true;
}

inline bool dispatchWaylandPoll(wl_display* display, bool& readPrepared, short revents) {
  readPrepared = false;
  if ((revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    if (wl_display_read_events(display) < 0) return false;
  } else {
    wl_display_cancel_read(display);
  }
  return wl_display_dispatch_pending(display) >= 0;
}

}  // namespace tw::idle
