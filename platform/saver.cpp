#include "platform/saver.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <utility>

#include "platform/cursor.h"
#include "platform/key_codes.h"

namespace tw::platform {
namespace {

// A point no element of the scene can hold: a click there is a click on the
// form itself.
constexpr float kNowhere = -1.0e9f;

// The scratch image boxes are painted in on their way to the X server: larger
// boxes (an expose, the lane) go in tiles of this size. A megabyte, where a
// copy of the whole screen would take 8 (1920 × 1080) or 32 (3840 × 2160).
constexpr QSize kTile(1024, 256);

// The boxes a region is painted and sent as. A region of a few boxes comes in
// many thin bands (the clock's box and its shadow's, offset by a pixel; the
// walker's old and new boxes), and every box costs a pass over the scene, a
// request to the server and, where a caption lies, drawing the caption again:
// boxes whose bounding rectangle is hardly larger than they are go as one.
QList<QRect> boxesOf(const QRegion& region) {
  const auto area = [](const QRect& r) { return qint64(r.width()) * r.height(); };
  // Painting a pixel twice costs less than a box more.
  constexpr qint64 kSpareArea = 2048;
  QList<QRect> boxes(region.begin(), region.end());
  for (bool merged = true; merged;) {
    merged = false;
    for (qsizetype i = 0; i < boxes.size() && !merged; ++i) {
      for (qsizetype j = i + 1; j < boxes.size(); ++j) {
        const QRect both = boxes[i] | boxes[j];
        const qint64 parts = area(boxes[i]) + area(boxes[j]);
        if (area(both) <= 2 * parts || area(both) - parts <= kSpareArea) {
          boxes[i] = both;
          boxes.removeAt(j);
          merged = true;
          break;
        }
      }
    }
  }
  return boxes;
}

}  // namespace

SceneWindow::SceneWindow(Saver& saver) : saver_(saver) {
  setFlags(kSaverWindowFlags);
  setCursor(saverCursor());
  setTitle(QString::fromStdString(saver.core().scene().caption));
}

SceneWindow::~SceneWindow() = default;

void SceneWindow::prepare() {
  create();
  x11_ = X11Surface::create(*this);
  if (!x11_) store_ = std::make_unique<QBackingStore>(this);
}

void SceneWindow::repaint(const QRegion& region) {
  if (!isExposed()) return;
  const QRegion dirty = region & QRect(QPoint(0, 0), size());
  if (dirty.isEmpty()) return;
  if (x11_)
    paintToX11(dirty);
  else
    paintToStore(dirty);
  sent();
}

void SceneWindow::repaintAll(const QRegion& content) {
  if (!isExposed()) return;
  const QRect all(QPoint(0, 0), size());
  if (x11_) {
    // The ground is black: the server fills it, and only the elements' boxes
    // are painted and sent, a few kilobytes instead of the whole screen.
    x11_->fillBlack(all);
    paintToX11(content & all);
  } else {
    paintToStore(all);
  }
  sent();
}

void SceneWindow::paintToX11(const QRegion& region) {
  if (x11_->window() != winId()) {
    // The native window was made anew: paint through whatever suits it now.
    x11_ = X11Surface::create(*this);
    if (!x11_) {
      store_ = std::make_unique<QBackingStore>(this);
      paintToStore(QRect(QPoint(0, 0), size()));
      return;
    }
  }
  if (!scratchPainter_) {
    scratch_ = QImage(kTile, QImage::Format_RGB32);
    // Begun once and kept: beginning a painter on an image sets up a whole
    // raster engine, which would be most of what a tick costs.
    scratchPainter_ = std::make_unique<QPainter>(&scratch_);
  }
  QPainter& painter = *scratchPainter_;
  for (const QRect& box : boxesOf(region)) {
    for (int y = box.top(); y <= box.bottom(); y += kTile.height()) {
      for (int x = box.left(); x <= box.right(); x += kTile.width()) {
        const QRect tile = QRect(QPoint(x, y), kTile) & box;
        // The tile's part of the window, at the image's top-left corner.
        // Every pixel of it is painted (black ground first), so what the
        // scratch image held before does not matter.
        painter.save();
        painter.translate(-tile.topLeft());
        painter.setClipRect(tile);
        saver_.paint(painter, tile);
        painter.restore();
        x11_->put(scratch_, QRect(QPoint(0, 0), tile.size()), tile.topLeft());
      }
    }
  }
  x11_->flush();
}

void SceneWindow::paintToStore(const QRegion& region) {
  // The store takes the window's size when it is next painted: a resize is
  // always followed by an expose, which paints the whole window.
  if (store_->size() != size()) store_->resize(size());
  store_->beginPaint(region);
  {
    // Every pixel of each box is painted (black ground first), so nothing of
    // the backing store's old content needs keeping or clearing.
    QPainter painter(store_->paintDevice());
    for (const QRect& box : region) {
      painter.setClipRect(box);
      saver_.paint(painter, box);
    }
  }
  store_->endPaint();
  store_->flush(region);
}

void SceneWindow::sent() {
  if (painted_) return;
  painted_ = true;
  saver_.firstFramePainted();
}

void SceneWindow::exposeEvent(QExposeEvent*) {
  // The whole window: what the event's region covers differs between window
  // systems, and exposes are rare (the window appearing, a box closing over it).
  if (isExposed()) saver_.windowExposed();
}

void SceneWindow::keyPressEvent(QKeyEvent* event) { saver_.keyPressed(*event); }

void SceneWindow::keyReleaseEvent(QKeyEvent* event) { saver_.keyReleased(*event); }

void SceneWindow::focusOutEvent(QFocusEvent* event) {
  saver_.focusLost();
  QWindow::focusOutEvent(event);
}

void SceneWindow::mousePressEvent(QMouseEvent* event) { click_.pressed(*event); }

void SceneWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (!click_.released(*event)) return;
  const QPoint at = event->position().toPoint();
  if (QRect(QPoint(0, 0), size()).contains(at)) saver_.clicked(at);
}

void SceneWindow::closeEvent(QCloseEvent* event) {
  saver_.windowClosed();
  event->accept();
}

Saver::Saver(QtServices& services, Clock& clock) : services_(services), core_(services, clock) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  window_ = std::make_unique<SceneWindow>(*this);
  services_.setWindow(window_.get());
  const QIcon icon(QPixmap::fromImage(iconImage()));
  window_->setIcon(icon);
}

Saver::~Saver() {
  services_.setWindow(nullptr);
}

bool Saver::start() {
  clock_.start();
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
  shown_ = snapshotScene(std::as_const(core_).scene(), window_->devicePixelRatio());
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

void Saver::coverScreens(QScreen* leaving) {
  if (finished_) return;
  QScreen* scene = window_->screen();
  const QList<QScreen*> screens = QGuiApplication::screens();
  // Covers no longer wanted are closed but kept until the end: a screen can
  // go while a cover's own key handler waits on a message box, and deleting
  // the window under it would pull it from under that handler.
  const auto unwanted = std::stable_partition(covers_.begin(), covers_.end(), [&](const auto& cover) {
    QScreen* s = cover->coveredScreen();
    return s && s != leaving && s != scene && screens.contains(s);
  });
  for (auto it = unwanted; it != covers_.end(); ++it) {
    (*it)->close();
    retired_.push_back(std::move(*it));
  }
  covers_.erase(unwanted, covers_.end());
  bool added = false;
  for (QScreen* s : screens) {
    if (s == scene || s == leaving) continue;
    const bool covered = std::any_of(covers_.begin(), covers_.end(),
                                     [s](const auto& cover) { return cover->coveredScreen() == s; });
    if (covered) continue;
    covers_.push_back(std::make_unique<CoverWindow>(*this, s));
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
  ++depth_;
  std::forward<Event>(event)();
  --depth_;
  // An event that arrived inside a running handler (the clock while a message
  // box is open) was refused by the core; the outer event finishes the work.
  if (depth_ == 0) afterEvents();
}

void Saver::afterEvents() {
  if (finished_) return;
  if (core_.ended()) {
    finish();
    return;
  }
  SceneSnapshot now = snapshotScene(std::as_const(core_).scene(), window_->devicePixelRatio());
#if TRENCHWALK_FULL_REPAINT
  // The comparison build for bench/x11_cost.sh: the whole window after every
  // event, as a naive view would do it.
  const QRegion dirty(QRect(QPoint(0, 0), window_->size()));
#else
  const QRegion dirty = changedRegion(shown_, now);
#endif
  shown_ = std::move(now);
  // Painted here and now rather than through a posted update request: one
  // wake-up of the program per tick, and the box reaches the screen in it.
  if (!dirty.isEmpty()) window_->repaint(dirty);
  arm();
}

void Saver::arm() {
  const std::optional<int64_t> due = core_.nextDue();
  if (!due) {
    timer_.stop();
    return;
  }
  const int64_t wait = std::clamp<int64_t>(*due - clock_.elapsed(), 0, 24LL * 3600 * 1000);
  timer_.start(static_cast<int>(wait));
}

void Saver::tick() {
#if TRENCHWALK_BENCH_TRACE
  const int64_t nowNs = clock_.nsecsElapsed();
  trace_.beforeTick(core_.timers(), nowNs);
  deliver([this, nowNs] { core_.catchUp(nowNs / 1'000'000); });
  trace_.afterTick(core_.timers());
#else
  deliver([this] { core_.catchUp(clock_.elapsed()); });
#endif
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
  deliver([this] { core_.clickAt(kNowhere, kNowhere); });
}

void Saver::windowClosed() {
  // Closed from outside (not by the program itself): nothing is left to show.
  if (!finished_ && depth_ == 0) finish();
}

void Saver::paint(QPainter& painter, const QRect& clip) {
  paintScene(painter, std::as_const(core_).scene(), sprites_, services_.fonts(), clip);
}

void Saver::windowExposed() {
  QRegion content;
  for (const DrawnElement& e : shown_)
    if (e.visible) content += e.box;
  window_->repaintAll(content);
}

void Saver::awaitFirstFrame(int limitMs) {
  if (finished_ || window_->painted()) return;
  QEventLoop loop;
  firstFrameLoop_ = &loop;
  QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
  loop.exec();
  firstFrameLoop_ = nullptr;
}

void Saver::firstFramePainted() {
#if TRENCHWALK_BENCH_TRACE
  trace_.firstFrame();
#endif
  if (firstFrameLoop_) firstFrameLoop_->quit();
}

void Saver::finish() {
  finished_ = true;
  if (firstFrameLoop_) firstFrameLoop_->quit();
  timer_.stop();
  for (auto& cover : covers_) cover->close();
  window_->close();
  QCoreApplication::exit(exitCode());
}

}  // namespace tw::platform
