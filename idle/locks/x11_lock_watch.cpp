#include "idle/locks/x11_lock_watch.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

#include "idle/sources/xcb_reply.h"

namespace tw::idle {

X11LockWatch::X11LockWatch(Launcher& launcher, const SaverProcess& saver)
    : launcher_(launcher), saver_(saver) {
  connection_ = connectWithRoot(root_);
}

X11LockWatch::~X11LockWatch() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

bool X11LockWatch::tryGrab() {
  Reply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(
      connection_,
      xcb_grab_keyboard(connection_, 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                        XCB_GRAB_MODE_ASYNC),
      nullptr));
  if (!reply) return false;
  if (reply->status == XCB_GRAB_STATUS_SUCCESS) {
    // Let go at once: the grab only asked.
    xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
    return false;
  }
  return reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED ||
         reply->status == XCB_GRAB_STATUS_FROZEN;
}

bool X11LockWatch::keyboardHeld() {
  if (connection_ == nullptr || xcb_connection_has_error(connection_) != 0) return false;
  held_ = tryGrab();
  if (held_) watchFocus(true);
  return held_;
}

void X11LockWatch::watchFocus(bool on) {
  if (connection_ == nullptr || on == watching_) return;
  watching_ = on;
  const std::uint32_t mask = on ? XCB_EVENT_MASK_FOCUS_CHANGE : XCB_EVENT_MASK_NO_EVENT;
  xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection_);
}

bool X11LockWatch::prepare(PollRequest& request) {
  if (connection_ == nullptr) return false;
  // Nothing to watch for once the saver has ended and no grab is held.
  if (!held_ && !saver_.running()) watchFocus(false);
  if (xcb_flush(connection_) <= 0) return false;
  request.fd = xcb_get_file_descriptor(connection_);
  request.events = POLLIN;
  return true;
}

bool X11LockWatch::dispatch(short) {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    const Reply<xcb_generic_event_t> owned(event);
    const std::uint8_t type = event->response_type & kEventCodeMask;
    if (type != XCB_FOCUS_IN && type != XCB_FOCUS_OUT) continue;
    const auto* focus = reinterpret_cast<const xcb_focus_in_event_t*>(event);
    if (focus->mode == XCB_NOTIFY_MODE_GRAB && !held_ && saver_.running()) {
      if (tryGrab()) {
        held_ = true;
        launcher_.lockChanged(LockSignal::X11KeyboardGrab, true);
      }
    } else if (focus->mode == XCB_NOTIFY_MODE_UNGRAB && held_) {
      held_ = false;
      launcher_.lockChanged(LockSignal::X11KeyboardGrab, false);
    }
  }
  return xcb_connection_has_error(connection_) == 0;
}

}  // namespace tw::idle
