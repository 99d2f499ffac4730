// The running saver: the scene window on the primary screen, black covers on
// the others, and the driver that feeds the core its events and its clock.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "input/key_filter.h"
#include "platform/qt_services.h"
#include "platform/scene_paint.h"
#include "platform/sprites.h"
#include "shell/scene.h"

namespace tw::platform {

class Saver;

// The one window of the program, covering the primary screen.
class SceneWindow : public QWidget {
 public:
  explicit SceneWindow(Saver& saver);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Tab is an ordinary key here, not a move to another widget.
  bool focusNextPrevChild(bool) override { return false; }

 private:
  Saver& saver_;
  bool pressed_ = false;
};

// A plain black window over a screen other than the primary one.
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
  explicit Saver(QtServices& services);
  ~Saver() override;

  // Runs the window's load, then shows the windows. False when the program
  // already ended during the load (nothing is shown then).
  bool start();
  // The exit status once the program has ended.
  int exitCode() const { return services_.failed() ? 1 : 0; }
  bool finished() const { return finished_; }

  ScreenS& screen() { return screen_; }
  SceneWindow* window() { return window_.get(); }

  // Input, as the windows receive it.
  void keyPressed(int code, bool autoRepeat);
  void keyReleased(int code, bool autoRepeat);
  void focusLost() { keys_.forgetAll(); }
  void clicked(QPoint logicalPixel);
  void clickedOutside();
  void windowClosed();

  void paint(QPainter& painter, const QRect& clip);

 private:
  // Runs one core event; once no core event is running any more, repaints
  // what changed, ends the program when the window was unloaded, and re-arms
  // the clock.
  template <class Event>
  void deliver(Event&& event);
  void afterEvents();
  void arm();
  void tick();
  void finish();

  QtServices& services_;
  ScreenS screen_;
  SpriteSet sprites_;
  KeyFilter keys_;
  std::unique_ptr<SceneWindow> window_;
  std::vector<std::unique_ptr<CoverWindow>> covers_;
  QElapsedTimer clock_;
  QTimer timer_;
  SceneSnapshot shown_;
  int depth_ = 0;
  bool finished_ = false;
};

}  // namespace tw::platform
