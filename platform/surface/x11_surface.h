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
#include <QPainter>
#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/surface/surface.h"

class QWindow;
struct xcb_connection_t;

namespace tw::platform {

class X11Surface : public Surface {
 public:
  // The window's surface, or null when the program does not run on X11, the
  // window has no native window yet, is scaled, or its pixels are not laid
  // out as QImage::Format_RGB32 (24-bit TrueColor, 32 bits per pixel, in the
  // host's byte order), in which case Qt's backing store draws instead.
  static std::unique_ptr<X11Surface> create(QWindow& window, SurfacePaint paint,
                                            SurfaceBoxes boxes);
  ~X11Surface() override;
  X11Surface(const X11Surface&) = delete;
  X11Surface& operator=(const X11Surface&) = delete;

  // While Qt keeps the native window it was made for.
  bool fits() const override;
  qreal scale() const override { return 1; }
  // Each box painted a tile at a time into a scratch image and put with
  // PutImage, then everything sent at once.
  void show(const QRegion& changed) override;
  // The server fills the black ground; only the content's boxes are sent, a
  // few kilobytes instead of the whole screen.
  void showAll(const QRegion& content) override;
  void showBlack() override;

 private:
  X11Surface(QWindow& window, SurfacePaint paint, SurfaceBoxes boxes,
             xcb_connection_t* connection, uint32_t id, uint32_t gc, uint32_t maxRequestBytes);
  // Fills `box` of the window with black on the server.
  void fillBlack(const QRect& box);
  // Paints the boxes of `region` and puts them, without flushing.
  void paintAndPut(const QRegion& region);
  // Puts `image` (Format_RGB32, whatever its row stride) into the window with
  // its top-left at `at`; rows the image does not fill are not sent.
  void put(const QImage& image, const QRect& part, const QPoint& at);
  // Sends what is queued to the server.
  void flush();

  QWindow& window_;
  SurfacePaint paint_;
  SurfaceBoxes boxes_;
  xcb_connection_t* connection_;
  uint32_t id_;
  uint32_t gc_;
  uint32_t maxRequestBytes_;
  std::vector<uint8_t> rows_;
  // Where boxes are painted before they go to the server, a tile at a time,
  // and the painter kept open on it (declared after it, so it ends first).
  QImage scratch_;
  std::unique_ptr<QPainter> scratchPainter_;
};

}  // namespace tw::platform
