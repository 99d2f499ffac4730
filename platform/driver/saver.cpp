#include "platform/driver/saver.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <utility>

#include "platform/driver/key_codes.h"

namespace tw::platform {

Saver::Saver(QtServices& services, VirtualTime& time, TickObserver* observer)
    : services_(services), core_(services, services.logDisk(), time), observer_(observer) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  window_ = std::make_unique<SceneWindow>(*this, std::as_const(core_).scene(), sprites_,
                                          services_.fonts());
  services_.setWindow(window_.get());
  const QIcon icon(QPixmap::fromImage(iconImage()));
  window_->setIcon(icon);
}

Saver::~Saver() {
  // A box still open closes with the saver, its answer for no one.
  finished_ = true;
  services_.endBoxes();
  services_.setWindow(nullptr);
}

bool Saver::start() {
  sinceStart_.start();
  deliver([this] { core_.start(); });
  if (finished_) return false;

  // Without a window manager, showing full screen alone keeps the default
  // size; the geometry has to be the screen's before the window appears.
  if (QScreen* primary = QGuiApplication::primaryScreen()) {
    window_->setScreen(primary);
    window_->setGeometry(primary->geometry());
  }
  coverScreens();
  window_->prepare();
  // The first picture is painted when the window is exposed.
  window_->showFullScreen();
  window_->raise();
  window_->requestActivate();

  connect(qGuiApp, &QGuiApplication::screenAdded, this, [this] { coverScreens(); });
  connect(qGuiApp, &QGuiApplication::screenRemoved, this,
          [this](QScreen* leaving) { coverScreens(leaving); });
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this] {
    followPrimary();
    coverScreens();
  });
  // A window manager may put the scene on another screen than the primary
  // (sway puts an XWayland window on the focused output): the covers then
  // go to the screens around it.
  connect(window_.get(), &QWindow::screenChanged, this, [this] { coverScreens(); });
  return true;
}

void Saver::endOn(EndSignals& endSignals) {
  if (endSignals.fd() < 0) return;
  endNotifier_ = std::make_unique<QSocketNotifier>(endSignals.fd(), QSocketNotifier::Read);
  connect(endNotifier_.get(), &QSocketNotifier::activated, this, [this, &endSignals] {
    if (endSignals.take()) requestEnd();
  });
}

void Saver::requestEnd() {
  if (finished_) return;
  // An open box closes as its button would, and its answer reaches the core
  // before the end does.
  services_.endBoxes();
  deliver([this] { core_.endRequested(); });
}

void Saver::coverScreens(QScreen* leaving) {
  if (finished_) return;
  QScreen* scene = window_->screen();
  const QList<QScreen*> screens = QGuiApplication::screens();
  const auto unwanted = std::stable_partition(covers_.begin(), covers_.end(), [&](const auto& cover) {
    QScreen* s = cover->coveredScreen();
    return s && s != leaving && s != scene && screens.contains(s);
  });
  covers_.erase(unwanted, covers_.end());
  bool added = false;
  for (QScreen* s : screens) {
    if (s == scene || s == leaving) continue;
    const bool covered = std::any_of(covers_.begin(), covers_.end(),
                                     [s](const auto& cover) { return cover->coveredScreen() == s; });
    if (covered) continue;
    covers_.push_back(std::make_unique<CoverWindow>(*this, s, window_->icon()));
    covers_.back()->showOnItsScreen();
    added = true;
  }
  // A cover that appeared while the saver runs may have taken the keyboard;
  // the scene window asks for it again, as it did at the start.
  if (added && window_->isVisible()) window_->requestActivate();
}

void Saver::followPrimary() {
  if (finished_) return;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary || window_->screen() == primary) return;
  window_->setScreen(primary);
  window_->setGeometry(primary->geometry());
  window_->showFullScreen();
  window_->requestActivate();
}

template <class Event>
void Saver::deliver(Event&& event) {
  if (finished_) return;
  std::forward<Event>(event)();
  afterEvents();
}

void Saver::afterEvents() {
  carryOut();
  // While a box is open the core holds its time still (and the run's end,
  // after a run-time error, waits for the box); only the heartbeat goes on.
  if (services_.boxOpen()) {
    arm();
    return;
  }
  if (core_.ended()) {
    finish();
    return;
  }
  // Painted here and now rather than through a posted update request: one
  // wake-up of the program per tick, and the box reaches the screen in it.
  if (window_->showChanges()) firstFrameShown();
  arm();
}

void Saver::carryOut() {
  while (const std::optional<Request> request = core_.takeRequest()) {
    const bool opened = services_.carryOut(*request, [this] { deliver([this] { core_.boxAnswered(); }); });
    if (opened) return;
    // A box that could not be shown counts as closed at once.
    if (isBox(*request)) core_.boxAnswered();
  }
}

void Saver::arm() {
  // The heartbeat goes with the ticks; a timer that is not due for long, or
  // none (a box is open), still wakes the loop for it.
  const bool beating = heartbeat_ && heartbeat_->beating();
  const std::optional<int64_t> due = core_.nextDue();
  if (!due && !beating) {
    timer_.stop();
    return;
  }
  const int64_t longest = beating ? kHeartbeatIntervalMs : kMsPerDay;
  const int64_t wait = due ? std::clamp<int64_t>(*due - sinceStart_.elapsed(), 0, longest) : longest;
  timer_.start(static_cast<int>(wait));
}

void Saver::tick() {
  constexpr int64_t kNsPerMs = 1'000'000;
  const int64_t nowNs = sinceStart_.nsecsElapsed();
  if (heartbeat_) heartbeat_->beat(nowNs / kNsPerMs);
  if (observer_) observer_->beforeTick(core_.timers(), nowNs);
  deliver([this, nowNs] { core_.catchUp(nowNs / kNsPerMs); });
  if (observer_) observer_->afterTick(core_.timers());
}

void Saver::keyPressed(const QKeyEvent& event) {
  keys_.press(keyCodeFor(event.key(), event.modifiers(), event.nativeVirtualKey()), event.isAutoRepeat());
}

void Saver::keyReleased(const QKeyEvent& event) {
  const int code = keyCodeFor(event.key(), event.modifiers(), event.nativeVirtualKey());
  if (!keys_.release(code, event.isAutoRepeat())) return;
  deliver([this, code] { core_.keyUp(code); });
}

void Saver::clicked(QPoint p) {
  deliver([this, p] {
    core_.clickAt(static_cast<float>(p.x()) * kTwipsPerPixel,
                  static_cast<float>(p.y()) * kTwipsPerPixel);
  });
}

void Saver::clickedOutside() {
  deliver([this] { core_.clickOutside(); });
}

void Saver::windowClosed() {
  // Closed from outside (not by the program itself): nothing is left to show.
  if (!finished_) finish();
}

void Saver::awaitFirstFrame(int limitMs) {
  if (finished_ || window_->painted()) return;
  QEventLoop loop;
  firstFrameLoop_ = &loop;
  QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
  loop.exec();
  firstFrameLoop_ = nullptr;
}

void Saver::firstFrameShown() {
  if (observer_) observer_->firstFrame();
  if (firstFrameLoop_) firstFrameLoop_->quit();
}

void Saver::finish() {
  finished_ = true;
  if (firstFrameLoop_) firstFrameLoop_->quit();
  timer_.stop();
  // A box still open goes with the windows (the window closed from outside).
  services_.endBoxes();
  for (auto& cover : covers_) cover->close();
  window_->close();
  QCoreApplication::exit(exitCode());
}

}  // namespace tw::platform
