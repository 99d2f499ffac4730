#include "platform/windows/scene_window.h"

#include <QCloseEvent>
#include <utility>


namespace tw::platform {
namespace {

// The scratch image boxes are painted in on their way to the X server: larger
// boxes (an expose, the lane) go in tiles of this size. A megabyte, where a
// copy of the whole screen would take 8 (1920 × 1080) or 32 (3840 × 2160).
constexpr QSize kTile(1024, 256);

}  // namespace

SceneWindow::SceneWindow(WindowInput& input, const Scene& scene, const SpriteSet& sprites,
                         FontCache& fonts)
    : SaverWindow(input), scene_(scene), sprites_(sprites), fonts_(fonts) {
  setTitle(QString::fromStdString(scene.caption));
}

SceneWindow::~SceneWindow() = default;

void SceneWindow::prepare() {
  create();
  x11_ = X11Surface::create(*this);
  shown_ = snapshotScene(scene_, devicePixelRatio());
}

qreal SceneWindow::paintRatio() const {
  return wayland_ ? wayland_->scale() : devicePixelRatio();
}

void SceneWindow::chooseSurface() {
  if (x11_ && x11_->window() == winId()) return;
  if (wayland_ && wayland_->fits()) return;
  // The native window was made anew, or none suited it before: paint
  // through whatever suits it now. On Wayland the window's wl_surface exists
  // only once it is shown, so this is first decided at the first expose.
  x11_ = X11Surface::create(*this);
  wayland_.reset();
  if (!x11_)
    wayland_ = WaylandSurface::create(
        *this, [this](QPainter& painter, const QRect& box) { paint(painter, box); }, &paintBoxes);
  if (x11_ || wayland_)
    store_.reset();
  else if (!store_)
    store_ = std::make_unique<QBackingStore>(this);
}

bool SceneWindow::showChanges() {
  SceneSnapshot now = snapshotScene(scene_, paintRatio());
#if TRENCHWALK_FULL_REPAINT
  // The comparison build for bench/x11_cost.sh: the whole window after every
  // event, as a naive view would do it.
  const QRegion dirty(QRect(QPoint(0, 0), size()));
#else
  const QRegion dirty = changedRegion(shown_, now);
#endif
  shown_ = std::move(now);
  const bool first = !painted_;
  if (!dirty.isEmpty()) repaint(dirty);
  return first && painted_;
}

void SceneWindow::repaint(const QRegion& region) {
  if (!isExposed()) return;
  const QRegion dirty = region & QRect(QPoint(0, 0), size());
  if (dirty.isEmpty()) return;
  if (wayland_ && !wayland_->fits()) {
    // A new size, scale or surface: everything is sent anew.
    repaintAll();
    return;
  }
  if (x11_)
    paintToX11(dirty);
  else if (wayland_)
    wayland_->show(dirty);
  else if (store_)
    paintToStore(dirty);
  else
    return;
  sent();
}

void SceneWindow::repaintAll() {
  if (!isExposed()) return;
  chooseSurface();
  // The whole scene goes anew, at the ratio of the surface chosen: where the
  // walker's pixels lie depends on it.
  shown_ = snapshotScene(scene_, paintRatio());
  QRegion content;
  for (const DrawnElement& e : shown_)
    if (e.visible) content += e.box;
  const QRect all(QPoint(0, 0), size());
  if (wayland_) {
    // Only the elements' boxes are painted: the rest is black ground, which
    // new buffers hold already and old ones still do.
    wayland_->showAll(content & all);
  } else if (x11_) {
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
    // The native window was made anew: everything goes again, through
    // whatever suits it now.
    repaintAll();
    return;
  }
  if (!scratchPainter_) {
    scratch_ = QImage(kTile, QImage::Format_RGB32);
    // Begun once and kept: beginning a painter on an image sets up a whole
    // raster engine, which would be most of what a tick costs.
    scratchPainter_ = std::make_unique<QPainter>(&scratch_);
  }
  QPainter& painter = *scratchPainter_;
  for (const QRect& box : paintBoxes(region)) {
    for (int y = box.top(); y <= box.bottom(); y += kTile.height()) {
      for (int x = box.left(); x <= box.right(); x += kTile.width()) {
        const QRect tile = QRect(QPoint(x, y), kTile) & box;
        // The tile's part of the window, at the image's top-left corner.
        // Every pixel of it is painted (black ground first), so what the
        // scratch image held before does not matter.
        painter.save();
        painter.translate(-tile.topLeft());
        painter.setClipRect(tile);
        paint(painter, tile);
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
      paint(painter, box);
    }
  }
  store_->endPaint();
  store_->flush(region);
}

void SceneWindow::paint(QPainter& painter, const QRect& clip) {
  paintScene(painter, scene_, sprites_, fonts_, clip);
}

void SceneWindow::sent() { painted_ = true; }

void SceneWindow::exposeEvent(QExposeEvent*) {
  // The whole window: what the event's region covers differs between window
  // systems, and exposes are rare (the window appearing, a box closing over it).
  // An expose queued before the window was closed still arrives, and Qt then
  // counts the window as exposed although it has no native window any more:
  // painting it would crash in Qt's Wayland backing store (seen on mutter when
  // a key ends the run just as a frame comes back) or, on X11, make a native
  // window anew.
  if (!isExposed() || handle() == nullptr) return;
  const bool first = !painted_;
  repaintAll();
  if (first && painted_) input_.firstFrameShown();
}

void SceneWindow::clickedAt(QPoint at) {
  if (QRect(QPoint(0, 0), size()).contains(at)) input_.clicked(at);
}

void SceneWindow::closeEvent(QCloseEvent* event) {
  input_.windowClosed();
  event->accept();
}

}  // namespace tw::platform
