#include "platform/saver.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <algorithm>

#include "platform/cursor.h"
#include "platform/key_codes.h"

namespace tw::platform {
namespace {

// Black before the first paint and under every paint, so the screen never
// flashes white while the window appears.
void makeBlack(QWidget& w) {
  w.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  QPalette palette = w.palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::Base, Qt::black);
  w.setPalette(palette);
  w.setAutoFillBackground(true);
  w.setAttribute(Qt::WA_OpaquePaintEvent);
  w.setCursor(saverCursor());
}

// A point no element of the scene can hold: a click there is a click on the
// form itself.
constexpr float kNowhere = -1.0e9f;

}  // namespace

SceneWindow::SceneWindow(Saver& saver) : saver_(saver) {
  makeBlack(*this);
  setFocusPolicy(Qt::StrongFocus);
  setWindowTitle(QString::fromStdString(saver.screen().WindowCaption));
}

void SceneWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  saver_.paint(painter, event->rect());
}

void SceneWindow::keyPressEvent(QKeyEvent* event) {
  saver_.keyPressed(keyCodeFor(event->key(), event->modifiers()), event->isAutoRepeat());
}

void SceneWindow::keyReleaseEvent(QKeyEvent* event) {
  saver_.keyReleased(keyCodeFor(event->key(), event->modifiers()), event->isAutoRepeat());
}

void SceneWindow::focusOutEvent(QFocusEvent* event) {
  saver_.focusLost();
  QWidget::focusOutEvent(event);
}

void SceneWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton ||
      event->button() == Qt::MiddleButton)
    pressed_ = true;
}

void SceneWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_ || event->buttons() != Qt::NoButton) return;
  pressed_ = false;
  const QPoint at = event->position().toPoint();
  if (rect().contains(at)) saver_.clicked(at);
}

void SceneWindow::closeEvent(QCloseEvent* event) {
  saver_.windowClosed();
  event->accept();
}

CoverWindow::CoverWindow(Saver& saver, const QRect& geometry) : saver_(saver) {
  makeBlack(*this);
  setGeometry(geometry);
}

void CoverWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::black);
}

void CoverWindow::mousePressEvent(QMouseEvent*) { pressed_ = true; }

void CoverWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_ || event->buttons() != Qt::NoButton) return;
  pressed_ = false;
  saver_.clickedOutside();
}

Saver::Saver(QtServices& services) : services_(services), screen_(services) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  window_ = std::make_unique<SceneWindow>(*this);
  services_.setWindow(window_.get());
  const QIcon icon(QPixmap::fromImage(iconImage()));
  window_->setWindowIcon(icon);
}

Saver::~Saver() {
  services_.setWindow(nullptr);
}

bool Saver::start() {
  clock_.start();
  deliver([this] { screen_.load(); });
  if (finished_) return false;

  QScreen* primary = QGuiApplication::primaryScreen();
  for (QScreen* other : QGuiApplication::screens()) {
    if (other == primary) continue;
    covers_.push_back(std::make_unique<CoverWindow>(*this, other->geometry()));
    covers_.back()->setWindowIcon(window_->windowIcon());
    covers_.back()->showFullScreen();
  }
  // Without a window manager, showing full screen alone keeps the default
  // size; the geometry has to be the screen's before the window appears.
  if (primary) window_->setGeometry(primary->geometry());
  shown_ = snapshotScene(screen_, window_->devicePixelRatio());
  window_->showFullScreen();
  window_->raise();
  window_->activateWindow();
  window_->setFocus(Qt::ActiveWindowFocusReason);
  return true;
}

template <class Event>
void Saver::deliver(Event&& event) {
  if (finished_) return;
  ++depth_;
  std::forward<Event>(event)();
  --depth_;
  // An event that arrived inside a running handler (the clock while a message
  // box is open) was refused by the core; the outer event finishes the work.
  if (depth_ == 0) afterEvents();
}

void Saver::afterEvents() {
  if (finished_) return;
  if (screen_.unloaded() || services_.unloadAsked()) {
    finish();
    return;
  }
  SceneSnapshot now = snapshotScene(screen_, window_->devicePixelRatio());
  const QRegion dirty = changedRegion(shown_, now);
  shown_ = std::move(now);
  if (!dirty.isEmpty()) window_->update(dirty);
  arm();
}

void Saver::arm() {
  const std::optional<int64_t> due = screen_.nextDue();
  if (!due) {
    timer_.stop();
    return;
  }
  const int64_t wait = std::clamp<int64_t>(*due - clock_.elapsed(), 0, 24LL * 3600 * 1000);
  timer_.start(static_cast<int>(wait));
}

void Saver::tick() {
  deliver([this] { screen_.catchUp(clock_.elapsed()); });
}

void Saver::keyPressed(int code, bool autoRepeat) { keys_.press(code, autoRepeat); }

void Saver::keyReleased(int code, bool autoRepeat) {
  if (!keys_.release(code, autoRepeat)) return;
  deliver([this, code] { screen_.keyUp(code); });
}

void Saver::clicked(QPoint p) {
  deliver([this, p] {
    screen_.clickAt(static_cast<float>(p.x()) * kTwipsPerPixel,
                    static_cast<float>(p.y()) * kTwipsPerPixel);
  });
}

void Saver::clickedOutside() {
  deliver([this] { screen_.clickAt(kNowhere, kNowhere); });
}

void Saver::windowClosed() {
  // Closed from outside (not by the program itself): nothing is left to show.
  if (!finished_ && depth_ == 0) finish();
}

void Saver::paint(QPainter& painter, const QRect& clip) {
  paintScene(painter, screen_, sprites_, services_.fonts(), clip);
}

void Saver::finish() {
  finished_ = true;
  timer_.stop();
  for (auto& cover : covers_) cover->close();
  window_->close();
  QCoreApplication::exit(exitCode());
}

}  // namespace tw::platform
