// What the X11 connections of the launcher share: replies freed where they go
// out of scope, an event's code without its SendEvent bit, and one connection
// to DISPLAY with its screen's root window and its turn in the event loop.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "common/no_copy.h"
#include "idle/loop/watched.h"

namespace tw::idle {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// Every event code's top bit says whether SendEvent made it.
inline constexpr std::uint8_t kEventCodeMask = 0x7f;

class XcbConnection : private common::NoCopy {
 public:
  // Connects to the X server at DISPLAY; when none answers, nothing is left
  // open and failure() says why.
  XcbConnection();
  ~XcbConnection() { close(); }

  explicit operator bool() const { return connection_ != nullptr; }
  xcb_connection_t* get() const { return connection_; }
  const std::string& failure() const { return failure_; }
  const std::string& displayName() const { return displayName_; }
  // The root window of the screen DISPLAY names; none when the server has no
  // such screen.
  std::optional<xcb_window_t> root() const { return root_; }
  // The extension's data where the server has it, else null.
  const xcb_query_extension_reply_t* extension(xcb_extension_t& id) const;
  // Whether the server has closed the connection, or there is none.
  bool broken() const {
    return connection_ == nullptr || xcb_connection_has_error(connection_) != 0;
  }
  void close();

  // The loop's turn: what is queued goes out, and the connection is polled
  // for input; false when it has closed.
  bool prepare(PollRequest& request);
  // Hands each event that came, with its code, to `handle`; false when the
  // connection has closed.
  template <typename Handle>
  bool dispatch(Handle&& handle) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      const Reply<xcb_generic_event_t> owned(event);
      handle(*event, static_cast<std::uint8_t>(event->response_type & kEventCodeMask));
    }
    return !broken();
  }

 private:
  xcb_connection_t* connection_ = nullptr;
  std::string displayName_;
  std::string failure_;
  std::optional<xcb_window_t> root_;
};

}  // namespace tw::idle
