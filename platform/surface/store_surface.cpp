#include "platform/surface/store_surface.h"

#include <QWindow>
#include <utility>

namespace tw::platform {

StoreSurface::StoreSurface(QWindow& window, SurfacePaint paint)
    : window_(window), paint_(std::move(paint)), store_(&window) {}

bool StoreSurface::fits() const { return window_.handle() != nullptr; }

qreal StoreSurface::scale() const { return window_.devicePixelRatio(); }

void StoreSurface::show(const QRegion& changed) { paintRegion(changed, paint_); }

void StoreSurface::showAll(const QRegion&) {
  // The store holds the whole window, so all of it is painted: the ground too.
  paintRegion(QRect(QPoint(0, 0), window_.size()), paint_);
}

void StoreSurface::showBlack() {
  paintRegion(QRect(QPoint(0, 0), window_.size()),
              [](QPainter& painter, const QRect& box) { painter.fillRect(box, Qt::black); });
}

void StoreSurface::paintRegion(const QRegion& region, const SurfacePaint& paintBox) {
  if (!paintBox) return;
  // The store takes the window's size when it is next painted: a resize is
  // always followed by an expose, which paints the whole window.
  if (store_.size() != window_.size()) store_.resize(window_.size());
  store_.beginPaint(region);
  {
    // Every pixel of each box is painted (black ground first), so nothing of
    // the backing store's old content needs keeping or clearing.
    QPainter painter(store_.paintDevice());
    for (const QRect& box : region) {
      painter.setClipRect(box);
      paintBox(painter, box);
    }
  }
  store_.endPaint();
  store_.flush(region);
}

}  // namespace tw::platform
