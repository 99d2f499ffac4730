// Where a window's pixels go. One of three kinds, chosen by makeSurface when
// the window has a native window: straight to the X server (X11Surface),
// into buffers of our own on Qt's Wayland surface (WaylandSurface), or
// through Qt's backing store anywhere else (StoreSurface). A window holds one
// and never asks which kind it is.
#pragma once

#include <QList>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <functional>
#include <memory>

class QWindow;

namespace tw::platform {

// Paints `box` (logical pixels) of the window; every pixel of it.
using SurfacePaint = std::function<void(QPainter& painter, const QRect& box)>;
// Splits a region into the boxes painted one by one.
using SurfaceBoxes = std::function<QList<QRect>(const QRegion& region)>;

class Surface {
 public:
  virtual ~Surface() = default;
  // Takes what the window system said of this surface since it last asked,
  // without waiting: on Wayland the compositor's preferred scale and the
  // buffers it released. Nothing to take elsewhere.
  virtual void readNews() {}
  // Whether it still draws the window as it is (the same native window, size
  // and scale), as last heard; the window reads the news first, and makes a
  // new one when it does not fit.
  virtual bool fits() const = 0;
  // Device pixels per logical pixel it paints at.
  virtual qreal scale() const = 0;
  // Paints `changed` (logical pixels) and sends it to the screen.
  virtual void show(const QRegion& changed) = 0;
  // The whole window after an expose: black ground, with `content` (every
  // box that is not black ground) painted.
  virtual void showAll(const QRegion& content) = 0;
  // Black over the whole window: a cover.
  virtual void showBlack() = 0;
};

// The surface that suits `window` now: X11 where the program runs on an X
// server that takes our pixels as they are, Wayland where the window has a
// wl_surface, the backing store otherwise. A cover passes a null paint. Null
// only while the window has no native window.
std::unique_ptr<Surface> makeSurface(QWindow& window, SurfacePaint paint, SurfaceBoxes boxes);

}  // namespace tw::platform
