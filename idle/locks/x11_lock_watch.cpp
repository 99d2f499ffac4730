#include "idle/locks/x11_lock_watch.h"

#include <xcb/xcb.h>

namespace tw::idle {

X11LockWatch::X11LockWatch(Launcher& launcher, const SaverProcess& saver)
    : launcher_(launcher), saver_(saver) {
  if (const std::optional<xcb_window_t> root = x_.root())
    root_ = *root;
  else
    x_.close();
}

bool X11LockWatch::tryGrab() {
  Reply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(
      x_.get(),
      xcb_grab_keyboard(x_.get(), 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                        XCB_GRAB_MODE_ASYNC),
      nullptr));
  if (!reply) return false;
  if (reply->status == XCB_GRAB_STATUS_SUCCESS) {
    // Let go at once: the grab only asked.
    xcb_ungrab_keyboard(x_.get(), XCB_CURRENT_TIME);
    xcb_flush(x_.get());
    return false;
  }
  return reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED ||
         reply->status == XCB_GRAB_STATUS_FROZEN;
}

bool X11LockWatch::keyboardHeld() {
  if (x_.broken()) return false;
  held_ = tryGrab();
  if (held_) watchFocus(true);
  return held_;
}

void X11LockWatch::watchFocus(bool on) {
  if (!x_ || on == watching_) return;
  watching_ = on;
  const std::uint32_t mask = on ? XCB_EVENT_MASK_FOCUS_CHANGE : XCB_EVENT_MASK_NO_EVENT;
  xcb_change_window_attributes(x_.get(), root_, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x_.get());
}

bool X11LockWatch::prepare(PollRequest& request) {
  // Nothing to watch for once the saver has ended and no grab is held.
  if (!held_ && !saver_.running()) watchFocus(false);
  return x_.prepare(request);
}

bool X11LockWatch::dispatch(short) {
  return x_.dispatch([this](const xcb_generic_event_t& event, std::uint8_t type) {
    if (type != XCB_FOCUS_IN && type != XCB_FOCUS_OUT) return;
    const auto& focus = reinterpret_cast<const xcb_focus_in_event_t&>(event);
    if (focus.mode == XCB_NOTIFY_MODE_GRAB && !held_ && saver_.running()) {
      if (tryGrab()) {
        held_ = true;
        launcher_.lockChanged(LockSignal::X11KeyboardGrab, true);
      }
    } else if (focus.mode == XCB_NOTIFY_MODE_UNGRAB && held_) {
      held_ = false;
      launcher_.lockChanged(LockSignal::X11KeyboardGrab, false);
    }
  });
}

}  // namespace tw::idle
