#include "platform/windows/scene_window.h"

#include <QCloseEvent>
#include <utility>

namespace tw::platform {

SceneWindow::SceneWindow(WindowInput& input, const Scene& scene, const SpriteSet& sprites,
                         FontCache& fonts)
    : SaverWindow(input), scene_(scene), sprites_(sprites), fonts_(fonts) {
  setTitle(QString::fromStdString(scene.caption));
}

SceneWindow::~SceneWindow() = default;

void SceneWindow::prepare() {
  create();
  shown_ = snapshotScene(scene_, paintRatio());
}

qreal SceneWindow::paintRatio() const { return surface_ ? surface_->scale() : devicePixelRatio(); }

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
  if (surface_) surface_->readNews();
  if (!surface_ || !surface_->fits()) {
    // A new native window, size, scale or surface: everything is sent anew.
    repaintAll();
    return;
  }
  surface_->show(dirty);
  painted_ = true;
}

void SceneWindow::repaintAll() {
  if (!isExposed()) return;
  // Chosen when the window is first exposed, not when its native window is
  // made: on Wayland the wl_surface exists only once the window is shown.
  if (surface_) surface_->readNews();
  if (!surface_ || !surface_->fits())
    surface_ = makeSurface(
        *this, [this](QPainter& painter, const QRect& box) { paint(painter, box); }, &paintBoxes);
  if (!surface_) return;
  // The whole scene goes anew, at the ratio of the surface chosen: where the
  // walker's pixels lie depends on it.
  shown_ = snapshotScene(scene_, paintRatio());
  QRegion content;
  for (const DrawnElement& e : shown_)
    if (e.visible) content += e.box;
  surface_->showAll(content & QRect(QPoint(0, 0), size()));
  painted_ = true;
}

void SceneWindow::paint(QPainter& painter, const QRect& clip) {
  paintScene(painter, scene_, sprites_, fonts_, clip);
}

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
