// The running saver: the scene window on the primary screen, black covers on
// the others, and the driver that feeds the core its events and its clock.
#pragma once

#include <QBackingStore>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <vector>

#include "input/key_filter.h"
#include "platform/bench_trace.h"
#include "platform/qt_services.h"
#include "platform/scene_paint.h"
#include "platform/sprites.h"
#include "platform/x11_surface.h"
#include "shell/clock.h"
#include "app/core.h"

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
  bool pressed_ = false;
  bool painted_ = false;
};

// A plain black window over a screen other than the primary one. It is painted
// only when the window system asks, so the widget machinery costs nothing here.
class CoverWindow : public QWidget {
 public:
  CoverWindow(Saver& saver, const QRect& geometry);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  Saver& saver_;
  bool pressed_ = false;
};

class Saver : public QObject {
 public:
  // `clock` is the core's time, moved by the core to the time elapsed since start.
  Saver(QtServices& services, Clock& clock);
  ~Saver() override;

  // Starts the core, then shows the windows. False when the run already
  // ended during the start (nothing is shown then).
  bool start();
  // Runs the events until the scene window's first picture has been sent, the
  // program ended, or `limitMs` passed without the window being exposed.
  void awaitFirstFrame(int limitMs = 1000);
  // The exit status once the run has ended, as the core decided it.
  int exitCode() const { return static_cast<int>(core_.exitStatus()); }
  bool finished() const { return finished_; }

  Core& core() { return core_; }
  SceneWindow* window() { return window_.get(); }

  // Input, as the windows receive it.
  void keyPressed(int code, bool autoRepeat);
  void keyReleased(int code, bool autoRepeat);
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
  void arm();
  void tick();
  void finish();

  QtServices& services_;
  Core core_;
  SpriteSet sprites_;
  KeyFilter keys_;
  std::unique_ptr<SceneWindow> window_;
  std::vector<std::unique_ptr<CoverWindow>> covers_;
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
