#include "platform/surface/x11_surface.h"

#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <utility>

#if TRENCHWALK_X11
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#endif

namespace tw::platform {

#if TRENCHWALK_X11
namespace {

template <class Reply>
struct Freed {
  Reply* reply;
  ~Freed() { std::free(reply); }
};

// Whether pixels of `visual` at `depth` are what QImage::Format_RGB32 holds:
// 0x??RRGGBB in a 32-bit word of the host's byte order.
bool holdsRgb32(xcb_connection_t* c, xcb_visualid_t visual, uint8_t depth) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  const uint8_t hostOrder =
      QSysInfo::ByteOrder == QSysInfo::LittleEndian ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST;
  if (depth != 24 || setup->image_byte_order != hostOrder) return false;
  bool wordPerPixel = false;
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
    if (f.data->depth == depth) wordPerPixel = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
  if (!wordPerPixel) return false;
  for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
    for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d)) {
      if (d.data->depth != depth) continue;
      for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
        if (v.data->visual_id == visual)
          return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xff0000 &&
                 v.data->green_mask == 0x00ff00 && v.data->blue_mask == 0x0000ff;
    }
  return false;
}

// A PutImage request's fixed part, in bytes.
constexpr uint32_t kPutImageHeader = 24;

// The scratch image boxes are painted in on their way to the server: larger
// boxes (an expose, the lane) go in tiles of this size. A megabyte, where a
// copy of the whole screen would take 8 (1920 × 1080) or 32 (3840 × 2160).
constexpr QSize kTile(1024, 256);

}  // namespace

std::unique_ptr<X11Surface> X11Surface::create(QWindow& window, SurfacePaint paint,
                                               SurfaceBoxes boxes) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || !window.handle()) return nullptr;
  // Boxes are painted at one device pixel per logical pixel.
  if (window.devicePixelRatio() != 1.0) return nullptr;
  xcb_connection_t* c = x11->connection();
  const auto id = static_cast<xcb_window_t>(window.winId());

  // Two round trips, once: which visual and depth Qt gave the window.
  const Freed<xcb_get_window_attributes_reply_t> attributes{
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr)};
  const Freed<xcb_get_geometry_reply_t> geometry{xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr)};
  if (!attributes.reply || !geometry.reply || !holdsRgb32(c, attributes.reply->visual, geometry.reply->depth))
    return nullptr;

  // Black is 0 in such a visual. The window keeps the background Qt gave it
  // (none): a background colour would have the server fill the whole window on
  // every map and expose before the saver paints it anyway.
  const uint32_t black = 0;
  const xcb_gcontext_t gc = xcb_generate_id(c);
  const uint32_t values[] = {black, 0};  // foreground, no graphics exposures
  xcb_create_gc(c, gc, id, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
  const uint32_t maxBytes = xcb_get_maximum_request_length(c) * 4;
  xcb_flush(c);
  return std::unique_ptr<X11Surface>(
      new X11Surface(window, std::move(paint), std::move(boxes), c, id, gc, maxBytes));
}

X11Surface::X11Surface(QWindow& window, SurfacePaint paint, SurfaceBoxes boxes,
                       xcb_connection_t* connection, uint32_t id, uint32_t gc,
                       uint32_t maxRequestBytes)
    : window_(window),
      paint_(std::move(paint)),
      boxes_(std::move(boxes)),
      connection_(connection),
      id_(id),
      gc_(gc),
      maxRequestBytes_(maxRequestBytes) {}

bool X11Surface::fits() const {
  return window_.handle() != nullptr && static_cast<uint32_t>(window_.winId()) == id_;
}

void X11Surface::show(const QRegion& changed) {
  paintAndPut(changed);
  flush();
}

void X11Surface::showAll(const QRegion& content) {
  const QRect all(QPoint(0, 0), window_.size());
  fillBlack(all);
  paintAndPut(content & all);
  flush();
}

void X11Surface::showBlack() {
  fillBlack(QRect(QPoint(0, 0), window_.size()));
  flush();
}

void X11Surface::paintAndPut(const QRegion& region) {
  if (!paint_ || region.isEmpty()) return;
  if (!scratchPainter_) {
    scratch_ = QImage(kTile, QImage::Format_RGB32);
    // Begun once and kept: beginning a painter on an image sets up a whole
    // raster engine, which would be most of what a tick costs.
    scratchPainter_ = std::make_unique<QPainter>(&scratch_);
  }
  QPainter& painter = *scratchPainter_;
  for (const QRect& box : boxes_ ? boxes_(region) : QList<QRect>(region.begin(), region.end())) {
    for (int y = box.top(); y <= box.bottom(); y += kTile.height()) {
      for (int x = box.left(); x <= box.right(); x += kTile.width()) {
        const QRect tile = QRect(QPoint(x, y), kTile) & box;
        // The tile's part of the window, at the image's top-left corner.
        // Every pixel of it is painted (black ground first), so what the
        // scratch image held before does not matter.
        painter.save();
        painter.translate(-tile.topLeft());
        painter.setClipRect(tile);
        paint_(painter, tile);
        painter.restore();
        put(scratch_, QRect(QPoint(0, 0), tile.size()), tile.topLeft());
      }
    }
  }
}

X11Surface::~X11Surface() {
  xcb_free_gc(connection_, gc_);
  xcb_flush(connection_);
}

void X11Surface::fillBlack(const QRect& box) {
  if (box.isEmpty()) return;
  const xcb_rectangle_t r{static_cast<int16_t>(box.x()), static_cast<int16_t>(box.y()),
                          static_cast<uint16_t>(box.width()), static_cast<uint16_t>(box.height())};
  xcb_poly_fill_rectangle(connection_, id_, gc_, 1, &r);
}

void X11Surface::put(const QImage& image, const QRect& part, const QPoint& at) {
  const QRect source = part & image.rect();
  if (source.isEmpty()) return;
  const uint32_t rowBytes = static_cast<uint32_t>(source.width()) * 4;
  const int rowsPerRequest = static_cast<int>(std::max<uint32_t>(1, (maxRequestBytes_ - kPutImageHeader) / rowBytes));
  for (int top = 0; top < source.height(); top += rowsPerRequest) {
    const int rows = std::min(rowsPerRequest, source.height() - top);
    const uint8_t* data;
    if (source.x() == 0 && static_cast<uint32_t>(image.bytesPerLine()) == rowBytes) {
      data = image.constScanLine(source.y() + top);
    } else {
      // The request wants the rows back to back.
      rows_.resize(static_cast<size_t>(rowBytes) * static_cast<size_t>(rows));
      for (int y = 0; y < rows; ++y)
        std::memcpy(rows_.data() + static_cast<size_t>(y) * rowBytes,
                    image.constScanLine(source.y() + top + y) + source.x() * 4, rowBytes);
      data = rows_.data();
    }
    xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, id_, gc_, static_cast<uint16_t>(source.width()),
                  static_cast<uint16_t>(rows), static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y() + top), 0, 24,
                  rowBytes * static_cast<uint32_t>(rows), data);
  }
}

void X11Surface::flush() { xcb_flush(connection_); }

#else  // no X11 support compiled in: Qt's backing store always draws

std::unique_ptr<X11Surface> X11Surface::create(QWindow&, SurfacePaint, SurfaceBoxes) {
  return nullptr;
}
X11Surface::~X11Surface() = default;
bool X11Surface::fits() const { return false; }
void X11Surface::show(const QRegion&) {}
void X11Surface::showAll(const QRegion&) {}
void X11Surface::showBlack() {}

#endif

}  // namespace tw::platform
