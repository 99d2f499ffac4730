// The scene window's pixels sent straight to an X server: each box that
// changed is painted into a small scratch image and put into the window with
// one PutImage request, and the black ground is filled by the server.
//
// Why not Qt's backing store: on X11 it keeps a copy of the whole window
// (8 MB at 1920 × 1080), and with shared memory it makes a round trip to the
// server (XSync) before every paint that touches what the last one sent, which
// the walker's box always does; without shared memory it sends five requests
// per flush through a server-side pixmap. Here a tick costs one request per
// box and no reply, and no full-window copy exists at all.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

class QWindow;
struct xcb_connection_t;

namespace tw::platform {

class X11Surface {
 public:
  // The window's surface, or null when the program does not run on X11, the
  // window has no native window yet, or its pixels are not laid out as
  // QImage::Format_RGB32 (24-bit TrueColor, 32 bits per pixel, in the host's
  // byte order), in which case Qt's backing store draws instead.
  static std::unique_ptr<X11Surface> create(QWindow& window);
  ~X11Surface();
  X11Surface(const X11Surface&) = delete;
  X11Surface& operator=(const X11Surface&) = delete;

  // The native window this surface draws into.
  uint32_t window() const { return window_; }
  // Fills `box` of the window with black on the server.
  void fillBlack(const QRect& box);
  // Puts `image` (Format_RGB32, whatever its row stride) into the window with
  // its top-left at `at`; rows the image does not fill are not sent.
  void put(const QImage& image, const QRect& part, const QPoint& at);
  // Sends what is queued to the server.
  void flush();

 private:
  X11Surface(xcb_connection_t* connection, uint32_t window, uint32_t gc, uint32_t maxRequestBytes);

  xcb_connection_t* connection_;
  uint32_t window_;
  uint32_t gc_;
  uint32_t maxRequestBytes_;
  std::vector<uint8_t> rows_;
};

}  // namespace tw::platform
