#include "platform/windows/cover_window.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>


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
  // Elsewhere one more black fill is harmless.
  if (event->type() == QEvent::WindowStateChange && surface_)
    QMetaObject::invokeMethod(this, [this] {
      if (isExposed() && handle() != nullptr) paintBlack();
    }, Qt::QueuedConnection);
  return SaverWindow::event(event);
}

void CoverWindow::paintBlack() {
  // On Wayland the window's wl_surface exists only once it is shown; one
  // black buffer is attached then and nothing is sent again while the window
  // keeps its surface and size.
  if (surface_) surface_->readNews();
  if (!surface_ || !surface_->fits()) surface_ = makeSurface(*this, nullptr, nullptr);
  if (surface_) surface_->showBlack();
}

void CoverWindow::clickedAt(QPoint) {
  // Nothing of the scene lies under a cover: a click there is a click on the
  // scene's empty ground.
  input_.clickedOutside();
}

}  // namespace tw::platform
