#include "platform/surface/surface.h"

#include <QWindow>
#include <utility>

#include "platform/surface/store_surface.h"
#include "platform/surface/wayland_surface.h"
#include "platform/surface/x11_surface.h"

namespace tw::platform {

std::unique_ptr<Surface> makeSurface(QWindow& window, SurfacePaint paint, SurfaceBoxes boxes) {
  if (window.handle() == nullptr) return nullptr;
  if (auto x11 = X11Surface::create(window, paint, boxes)) return x11;
  // On Wayland the window's wl_surface exists only once it is shown, so a
  // window asks at its first expose.
  if (auto wayland = WaylandSurface::create(window, paint, boxes)) return wayland;
  return std::make_unique<StoreSurface>(window, std::move(paint));
}

}  // namespace tw::platform
