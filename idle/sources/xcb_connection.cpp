#include "idle/sources/xcb_connection.h"

#include <poll.h>

namespace tw::idle {

XcbConnection::XcbConnection() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    failure_ = "DISPLAY is not set";
    return;
  }
  displayName_ = name;
  int screen = 0;
  connection_ = xcb_connect(nullptr, &screen);
  if (xcb_connection_has_error(connection_) != 0) {
    close();
    failure_ = "no X server answers at DISPLAY=" + displayName_;
    return;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem > 0) root_ = it.data->root;
}

const xcb_query_extension_reply_t* XcbConnection::extension(xcb_extension_t& id) const {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, &id);
  return data != nullptr && data->present != 0 ? data : nullptr;
}

void XcbConnection::close() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
  connection_ = nullptr;
}

bool XcbConnection::prepare(PollRequest& request) {
  if (connection_ == nullptr || xcb_flush(connection_) <= 0) return false;
  request.fd = xcb_get_file_descriptor(connection_);
  request.events = POLLIN;
  return true;
}

}  // namespace tw::idle
