#include "platform/windows/cover_window.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPainter>


namespace tw::platform {

CoverWindow::CoverWindow(WindowInput& input, QScreen* screen, const QIcon& icon)
    : SaverWindow(input), covered_(screen) {
  // On X11 a window manager puts a new window on the monitor it chooses (sway
  // puts XWayland windows on the focused output, tiled), and one output
  // holds one full-screen window. A cover that bypasses the window manager
  // stays exactly where its geometry puts it, above the managed windows, as
  // screen savers' windows on X11 always have. Elsewhere the flag means nothing.
  if (QGuiApplication::platformName() == QLatin1String("xcb"))
    setFlags(flags() | Qt::BypassWindowManagerHint);
  setIcon(icon);
  // The screen first, then the geometry, both before the native window
  // exists: on X11 with several X screens the screen decides which root
  // window it is made under, and elsewhere the window manager (or, without
  // one, the server) places it by its geometry. Set afterwards, it would be
  // made on the primary screen and stay there.
  setScreen(screen);
  setGeometry(screen->geometry());
}

CoverWindow::~CoverWindow() = default;

void CoverWindow::showOnItsScreen() {
  create();
  x11_ = X11Surface::create(*this);
  // Full-screen on the screen it is on: on Wayland that names this screen's
  // output to the compositor, on X11 the window manager keeps it where its
  // geometry put it.
  showFullScreen();
}

void CoverWindow::exposeEvent(QExposeEvent*) {
  // Not once closed: see SceneWindow::exposeEvent.
  if (isExposed() && handle() != nullptr) paintBlack();
}

bool CoverWindow::event(QEvent* event) {
  // Each configure from a Wayland compositor (the full screen on the output
  // above all) comes as a change of state, with no expose when the size
  // stays: the surface must commit again for it to take effect, and sway
  // shows nothing of the cover until it does. Queued, so that it follows
  // Qt's acknowledgement of the configure.
  if (event->type() == QEvent::WindowStateChange && wayland_)
    QMetaObject::invokeMethod(this, [this] {
      if (isExposed() && handle() != nullptr) paintBlack();
    }, Qt::QueuedConnection);
  return SaverWindow::event(event);
}

void CoverWindow::paintBlack() {
  const QRect all(QPoint(0, 0), size());
  if (x11_ && x11_->window() == winId()) {
    x11_->fillBlack(all);
    x11_->flush();
    return;
  }
  // On Wayland the window's wl_surface exists only once it is shown; one
  // black buffer is attached then and nothing is sent again while the window
  // keeps its surface and size.
  if (!wayland_ || !wayland_->fits()) wayland_ = WaylandSurface::create(*this, nullptr, nullptr);
  if (wayland_) {
    wayland_->showBlack();
    return;
  }
  if (!store_) store_ = std::make_unique<QBackingStore>(this);
  if (store_->size() != size()) store_->resize(size());
  store_->beginPaint(all);
  {
    QPainter painter(store_->paintDevice());
    painter.fillRect(all, Qt::black);
  }
  store_->endPaint();
  store_->flush(all);
}

void CoverWindow::clickedAt(QPoint) {
  // Nothing of the scene lies under a cover: a click there is a click on the
  // scene's empty ground.
  input_.clickedOutside();
}

}  // namespace tw::platform
