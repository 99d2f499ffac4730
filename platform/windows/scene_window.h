// The scene window: the one window the scene is painted in.
#pragma once

#include <QPainter>
#include <QRegion>
#include <QWindow>
#include <memory>

#include "platform/paint/fonts.h"
#include "platform/paint/scene_paint.h"
#include "platform/paint/sprites.h"
#include "platform/surface/surface.h"
#include "platform/windows/saver_window.h"
#include "platform/windows/window_input.h"
#include "shell/scene.h"

namespace tw::platform {

// The window the scene is painted in, covering the primary screen. A QWindow
// rather than a widget: the saver repaints a few small boxes ten times a second
// for hours, and the widget machinery (a posted update request per change, the
// repaint manager, a backing store the size of the screen) would cost more
// than the painting itself. The boxes go through one Surface, which sends
// them straight to the X server or the compositor where it can.
class SceneWindow : public SaverWindow {
 public:
  // Paints `scene` with `sprites` and `fonts`, all of which outlive it, and
  // tells `input` what it receives.
  SceneWindow(WindowInput& input, const Scene& scene, const SpriteSet& sprites, FontCache& fonts);
  ~SceneWindow() override;

  // Creates the native window and notes the scene as it is; before the
  // window is shown. How it is painted is chosen at its first expose.
  void prepare();
  // Paints what changed in the scene since it was last painted and sends it
  // to the screen at once. True when that was the first picture sent.
  bool showChanges();
  // The surface it paints through, once it has been exposed; for the tests.
  const Surface* surface() const { return surface_.get(); }
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
  void paint(QPainter& painter, const QRect& clip);

  const Scene& scene_;
  const SpriteSet& sprites_;
  FontCache& fonts_;
  // The scene as last painted.
  SceneSnapshot shown_;
  std::unique_ptr<Surface> surface_;
  bool painted_ = false;
};

}  // namespace tw::platform
