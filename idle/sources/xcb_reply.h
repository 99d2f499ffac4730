// What the X11 connections of the launcher need from xcb: replies freed
// where they go out of scope, an event's code without its SendEvent bit, and
// a connection to DISPLAY with its screen's root window.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

namespace tw::idle {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// Every event code's top bit says whether SendEvent made it.
inline constexpr std::uint8_t kEventCodeMask = 0x7f;

// Connects to the X server at DISPLAY and finds the root window of the
// screen it names; null, with nothing left open, when there is none.
inline xcb_connection_t* connectWithRoot(xcb_window_t& root) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') return nullptr;
  int screen = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  root = it.data->root;
  return connection;
}

}  // namespace tw::idle
