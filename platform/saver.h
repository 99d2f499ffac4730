// The running saver: the scene window on the primary screen, black covers on
// the others, and the driver that feeds the core its events and its clock.
#pragma once

#include <QBackingStore>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <vector>

#include "input/key_filter.h"
#include "platform/bench_trace.h"
#include "platform/cover_window.h"
#include "platform/qt_services.h"
#include "platform/scene_paint.h"
#include "platform/sprites.h"
#include "platform/x11_surface.h"
#include "app/core.h"
#include "shell/clock.h"

namespace tw::platform {

class Saver;

// The one window of the program, covering the primary screen. A plain QWindow
// rather than a widget: the saver repaints a few small boxes ten times a second
// for hours, and the widget machinery (a posted update request per change, the
// repaint manager, a backing store the size of the screen) would cost more
// than the painting itself. On X11 the boxes go straight to the server
// (X11Surface); elsewhere through a QBackingStore.
class SceneWindow : public QWindow {
 public:
  explicit SceneWindow(Saver& saver);
  ~SceneWindow() override;

  // Creates the native window and chooses how to paint it; before it is shown.
  void prepare();
  // Paints `region` (logical pixels) from the scene and sends it to the
  // screen at once. Nothing happens while the window is not exposed: the
  // expose that follows repaints all of it anyway.
  void repaint(const QRegion& region);
  // The whole window, where the scene has something other than black ground
  // only inside `content`.
  void repaintAll(const QRegion& content);
  bool directToX11() const { return x11_ != nullptr; }
  // Whether a picture of the scene has been sent to the screen yet.
  bool painted() const { return painted_; }

 protected:
  void exposeEvent(QExposeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void paintToX11(const QRegion& region);
  void paintToStore(const QRegion& region);
  void sent();

  Saver& saver_;
  std::unique_ptr<X11Surface> x11_;
  std::unique_ptr<QBackingStore> store_;
  // Where boxes are painted before they go to the X server, a tile at a time,
  // and the painter kept open on it (declared after it, so it ends first).
  QImage scratch_;
  std::unique_ptr<QPainter> scratchPainter_;
  ClickTracker click_;
  bool painted_ = false;
};

class Saver : public QObject {
 public:
  // `clock` is the core's time, moved by the core to the time elapsed since start.
  Saver(QtServices& services, Clock& clock);
  ~Saver() override;

  // Starts the core, then shows the windows: a cover on every screen
  // but the primary one, then the scene window on the primary, which asks for
  // the keyboard last. False when the run already ended during the start
  // (nothing is shown then). From then on, screens that come and go while it
  // runs get and lose their covers.
  bool start();
  // Runs the events until the scene window's first picture has been sent, the
  // program ended, or `limitMs` passed without the window being exposed.
  void awaitFirstFrame(int limitMs = 1000);
  // The exit status once the run has ended, as the core decided it.
  int exitCode() const { return static_cast<int>(core_.exitStatus()); }
  bool finished() const { return finished_; }

  Core& core() { return core_; }
  SceneWindow* window() { return window_.get(); }
  const std::vector<std::unique_ptr<CoverWindow>>& covers() const { return covers_; }

  // Input, as any of the windows receives it.
  void keyPressed(const QKeyEvent& event);
  void keyReleased(const QKeyEvent& event);
  void focusLost() { keys_.forgetAll(); }
  void clicked(QPoint logicalPixel);
  void clickedOutside();
  void windowClosed();

  // Paints the part `clip` (logical pixels) of the scene as it is now.
  void paint(QPainter& painter, const QRect& clip);
  // The scene window was exposed: everything is painted again.
  void windowExposed();
  // The scene window has sent its first picture to the screen.
  void firstFramePainted();

 private:
  // Runs one core event; once no core event is running any more, repaints
  // what changed, ends the program when the run has ended, and re-arms the
  // timer.
  template <class Event>
  void deliver(Event&& event);
  void afterEvents();
  // Gives every screen but the scene window's a cover, and drops the covers
  // of screens that are gone or now hold the scene. `leaving` is a screen on
  // its way out, still listed among the screens.
  void coverScreens(QScreen* leaving = nullptr);
  // Moves the scene window to the primary screen when that changed.
  void followPrimary();
  void arm();
  void tick();
  void finish();

  QtServices& services_;
  Core core_;
  SpriteSet sprites_;
  KeyFilter keys_;
  std::unique_ptr<SceneWindow> window_;
  std::vector<std::unique_ptr<CoverWindow>> covers_;
  // Covers of screens that went away or took the scene, closed.
  std::vector<std::unique_ptr<CoverWindow>> retired_;
  QElapsedTimer clock_;
  QTimer timer_;
  SceneSnapshot shown_;
  int depth_ = 0;
  bool finished_ = false;
  QEventLoop* firstFrameLoop_ = nullptr;
#if TRENCHWALK_BENCH_TRACE
  BenchTrace trace_;
#endif
};

}  // namespace tw::platform
