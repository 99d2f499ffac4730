// The running saver's driver: the scene window on the primary screen, black
// covers on the others, and the core fed its events and its clock.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/core.h"
#include "input/key_filter.h"
#include "platform/paint/sprites.h"
#include "platform/system/end_signals.h"
#include "platform/system/heartbeat.h"
#include "platform/driver/qt_services.h"
#include "platform/windows/cover_window.h"
#include "platform/windows/scene_window.h"
#include "platform/driver/tick_observer.h"
#include "platform/windows/window_input.h"
#include "shell/virtual_time.h"

namespace tw::platform {

// It starts the core, shows the windows, feeds the core what the windows
// receive and the time, and has the scene window show what changed. The
// windows only report to it; it never paints for them.
class Saver : public QObject, public WindowInput {
 public:
  // `time` is the core's, moved by the core to the time elapsed since
  // start. `observer`, when given, is told of every tick and of the first
  // picture, and must outlive the saver.
  Saver(QtServices& services, VirtualTime& time, TickObserver* observer = nullptr);
  ~Saver() override;

  // Starts the core, then shows the windows: a cover on every screen
  // but the primary one, then the scene window on the primary, which asks for
  // the keyboard last. False when the run already ended during the start
  // (nothing is shown then). From then on, screens that come and go while it
  // runs get and lose their covers.
  bool start();
  // The signals that end the run as a key does; `endSignals` must outlive the
  // saver. Called before start().
  void endOn(EndSignals& endSignals);
  // The launcher's heartbeat, written from the event loop, while a box is
  // open too; it must outlive the saver. Called before start().
  void beatTo(Heartbeat& heartbeat) { heartbeat_ = &heartbeat; }
  // Ends the run as a key does, with its record, closing an open box as its
  // button would. Nothing once the run has ended.
  void requestEnd();
  // Runs the events until the scene window's first picture has been sent, the
  // program ended, or `limitMs` passed without the window being exposed.
  void awaitFirstFrame(int limitMs = 1000);
  // The exit status once the run has ended, as the core decided it.
  int exitCode() const { return exitCodeOf(core_.exitStatus()); }
  bool finished() const { return finished_; }

  Core& core() { return core_; }
  SceneWindow* window() { return window_.get(); }
  const std::vector<std::unique_ptr<CoverWindow>>& covers() const { return covers_; }

  // What the windows tell it.
  void keyPressed(const QKeyEvent& event) override;
  void keyReleased(const QKeyEvent& event) override;
  void focusLost() override { keys_.forgetAll(); }
  void clicked(QPoint logicalPixel) override;
  void clickedOutside() override;
  void windowClosed() override;
  void firstFrameShown() override;

 private:
  // Runs one core event, then carries out what it asked for; unless a box is
  // open, repaints what changed and ends the program when the run has ended;
  // and re-arms the timer.
  template <class Event>
  void deliver(Event&& event);
  void afterEvents();
  // Carries out the core's requests in order, until a box is open: the rest
  // waits for its answer.
  void carryOut();
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
  QElapsedTimer sinceStart_;
  QTimer timer_;
  std::unique_ptr<QSocketNotifier> endNotifier_;
  Heartbeat* heartbeat_ = nullptr;
  bool finished_ = false;
  QEventLoop* firstFrameLoop_ = nullptr;
  TickObserver* observer_;
};

}  // namespace tw::platform
