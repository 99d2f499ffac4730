// A window's pixels sent straight to a Wayland compositor, past Qt's backing
// store: two shared-memory buffers the size of the window, of which each tick
// writes only the boxes that changed into the one it shows next.
//
// Why not Qt's backing store: Qt 6.4's shared-memory store keeps up to three
// buffers the size of the window and brings each new back buffer up to date by
// copying the whole front buffer into it, megabytes moved per tick to change
// a few hundred pixels, and it damages and commits through Qt's own frame
// callbacks. Here a tick paints its boxes into the buffer the compositor has
// released, copies into it only the boxes the other buffer changed since it
// was last shown, damages the changed boxes and commits once.
//
// Qt still owns the window: its wl_surface, its role (the xdg toplevel), its
// input and its scale. Only the buffers are ours, on an event queue of our
// own, so that their release events never run inside Qt's dispatch.
#pragma once

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <QTimer>
#include <array>
#include <cstddef>
#include <functional>
#include <memory>

class QWindow;
struct wl_buffer;
struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wl_shm;
struct wl_shm_pool;
struct wl_surface;

namespace tw::platform {

class WaylandSurface {
 public:
  // Paints `box` (logical pixels) of the window; every pixel of it.
  using Paint = std::function<void(QPainter& painter, const QRect& box)>;
  // Splits a region into the boxes painted one by one.
  using Boxes = std::function<QList<QRect>(const QRegion& region)>;

  // The window's surface, or null when the program does not run on Wayland,
  // the window has no wl_surface yet, its scale is not a whole number, or
  // the compositor offers no wl_shm (Qt's backing store draws then). A
  // surface made with a null `paint` only ever shows black (a cover).
  static std::unique_ptr<WaylandSurface> create(QWindow& window, Paint paint, Boxes boxes);
  ~WaylandSurface();
  WaylandSurface(const WaylandSurface&) = delete;
  WaylandSurface& operator=(const WaylandSurface&) = delete;

  // Whether this surface still draws the window as it is: the same
  // wl_surface, size and scale. Made anew otherwise.
  bool fits() const;
  // Shows `changed` (logical pixels) anew: painted into the buffer shown
  // next, that buffer brought up to date, the changed boxes damaged, one
  // commit. With neither buffer released yet the change waits and is shown
  // with the next, or a moment later.
  void show(const QRegion& changed);
  // As show(), with the whole window damaged: after an expose. `content` is
  // every box that is not black ground.
  void showAll(const QRegion& content);
  // Black over the whole window, once: a cover. Nothing is sent again while
  // the window keeps its surface and size.
  void showBlack();

  // How many buffers the size of the window it holds (two at most).
  int fullBuffers() const;
  // Commits made so far, and the device pixels of the boxes damaged by the
  // last one; for the tests.
  int commits() const { return commits_; }
  const QRegion& lastDamage() const { return lastDamage_; }
  // Whether a change waits for a buffer to be released.
  bool waiting() const { return !pending_.isEmpty() || pendingWhole_; }
  // A copy of the buffer last committed (null for a cover); for the tests.
  QImage lastPicture() const;

 private:
  struct Buffer {
    wl_buffer* buffer = nullptr;
    QImage image;
    // Begun once and kept: beginning a painter sets up a whole raster engine.
    std::unique_ptr<QPainter> painter;
    bool busy = false;  // attached and not yet released by the compositor
    // What changed in the picture (logical pixels) since this buffer last
    // held all of it.
    QRegion stale;
  };

  WaylandSurface(QWindow& window, wl_display* display, wl_surface* surface, Paint paint,
                 Boxes boxes);
  bool bind();
  // Makes the two buffers at the window's size; they start black.
  bool makeBuffers();
  // Makes the black buffer a cover shows.
  bool makeBlack();
  // A pool over the whole of mappingBytes_ of the file fd, which it takes.
  void makePool(int fd);
  void dropBuffers();
  void attachAndCommit(wl_buffer* buffer, const QRegion& deviceDamage);
  void paintPending(bool whole);
  void copyBoxes(const Buffer& from, Buffer& to, const QRegion& logical);
  QRegion toDevice(const QRegion& logical) const;
  static void released(void* data, wl_buffer* buffer);
  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version);
  static void globalRemoved(void* data, wl_registry* registry, uint32_t name);

  QWindow& window_;
  wl_display* display_;
  wl_surface* surface_;
  Paint paint_;
  Boxes boxes_;
  wl_event_queue* queue_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_shm* shm_ = nullptr;
  wl_shm_pool* pool_ = nullptr;
  void* mapping_ = nullptr;
  size_t mappingBytes_ = 0;
  std::array<Buffer, 2> buffers_;
  Buffer* front_ = nullptr;  // the buffer last committed
  wl_buffer* black_ = nullptr;
  bool blackShown_ = false;
  QSize logicalSize_;
  int scale_ = 1;
  // Changes not yet shown, waiting for a buffer to be released.
  QRegion pending_;
  bool pendingWhole_ = false;
  QTimer retry_;
  int commits_ = 0;
  QRegion lastDamage_;
};

}  // namespace tw::platform
