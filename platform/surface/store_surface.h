// A window's pixels through Qt's backing store: where neither the X server
// nor the Wayland compositor takes ours straight (a scaled X11 display, a
// visual other than 24-bit TrueColor, Qt's offscreen platform).
#pragma once

#include <QBackingStore>

#include "platform/surface/surface.h"

namespace tw::platform {

class StoreSurface : public Surface {
 public:
  StoreSurface(QWindow& window, SurfacePaint paint);

  bool fits() const override;
  qreal scale() const override;
  void show(const QRegion& changed) override;
  void showAll(const QRegion& content) override;
  void showBlack() override;

 private:
  // Paints `region` with `paintBox` and flushes it.
  void paintRegion(const QRegion& region, const SurfacePaint& paintBox);

  QWindow& window_;
  SurfacePaint paint_;
  QBackingStore store_;
};

}  // namespace tw::platform
