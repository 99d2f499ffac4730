// The scene window: the one window the scene is painted in.
#pragma once

#include <QBackingStore>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QWindow>
#include <memory>

#include "platform/paint/fonts.h"
#include "platform/paint/scene_paint.h"
#include "platform/paint/sprites.h"
#include "platform/paint/wayland_surface.h"
#include "platform/paint/x11_surface.h"
#include "platform/windows/saver_window.h"
#include "platform/windows/window_input.h"
#include "shell/scene.h"

namespace tw::platform {

// The window the scene is painted in, covering the primary screen. A QWindow
// rather than a widget: the saver repaints a few small boxes ten times a second
// for hours, and the widget machinery (a posted update request per change, the
// repaint manager, a backing store the size of the screen) would cost more
// than the painting itself. On X11 the boxes go straight to the server
// (X11Surface), on Wayland into buffers of our own (WaylandSurface); elsewhere
// through a QBackingStore.
class SceneWindow : public SaverWindow {
 public:
  // Paints `scene` with `sprites` and `fonts`, all of which outlive it, and
  // tells `input` what it receives.
  SceneWindow(WindowInput& input, const Scene& scene, const SpriteSet& sprites, FontCache& fonts);
  ~SceneWindow() override;

  // Creates the native window, chooses how to paint it and notes the scene as
  // it is; before the window is shown.
  void prepare();
  // Paints what changed in the scene since it was last painted and sends it
  // to the screen at once. True when that was the first picture sent.
  bool showChanges();
  bool directToX11() const { return x11_ != nullptr; }
  // The Wayland surface it paints through, if any; for the tests.
  const WaylandSurface* wayland() const { return wayland_.get(); }
  // Device pixels per logical pixel in the pictures sent: the output's own
  // scale on Wayland, which may be fractional where Qt knows only whole ones.
  qreal paintRatio() const;
  // Whether a picture of the scene has been sent to the screen yet.
  bool painted() const { return painted_; }

 protected:
  void exposeEvent(QExposeEvent* event) override;
  void clickedAt(QPoint at) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Paints `region` (logical pixels) from the scene and sends it to the
  // screen. Nothing happens while the window is not exposed: the expose that
  // follows repaints all of it anyway.
  void repaint(const QRegion& region);
  // The whole window; only the elements' boxes have something other than
  // black ground.
  void repaintAll();
  // Picks how the window is painted: straight to the X server or the
  // compositor where it can, through a QBackingStore otherwise.
  void chooseSurface();
  void paintToX11(const QRegion& region);
  void paintToStore(const QRegion& region);
  void paint(QPainter& painter, const QRect& clip);
  void sent();

  const Scene& scene_;
  const SpriteSet& sprites_;
  FontCache& fonts_;
  // The scene as last painted.
  SceneSnapshot shown_;
  std::unique_ptr<X11Surface> x11_;
  std::unique_ptr<WaylandSurface> wayland_;
  std::unique_ptr<QBackingStore> store_;
  // Where boxes are painted before they go to the X server, a tile at a time,
  // and the painter kept open on it (declared after it, so it ends first).
  QImage scratch_;
  std::unique_ptr<QPainter> scratchPainter_;
  bool painted_ = false;
};

}  // namespace tw::platform
