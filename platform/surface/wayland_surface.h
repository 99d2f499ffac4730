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
// Qt still owns the window: its wl_surface, its role (the xdg toplevel) and
// its input. Only the buffers are ours, on an event queue of our own, so that
// their release events never run inside Qt's dispatch.
//
// The scale is ours too. Qt 6.4 knows only whole output scales: at 1.5 it
// would have the picture drawn at 2 and the compositor shrink it, softening
// every pixel. The scene's buffers have the output's own device size instead,
// and wp_viewporter lays them on the window's logical size, so that the
// compositor puts them on the screen pixel for pixel. The scale is the one
// wp_fractional_scale_v1 prefers where the compositor offers it, else the
// ratio of the output's current mode to its logical size (xdg_output, which a
// WaylandOutputWatch reads on a connection of its own), and a whole scale
// keeps the buffer scale, as before.
#pragma once

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <QTimer>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/no_copy.h"
#include "platform/surface/surface.h"

class QWindow;
struct wl_buffer;
struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wl_shm;
struct wl_shm_pool;
struct wl_surface;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct wp_viewporter;

namespace tw::platform {

class WaylandOutputWatch;

class WaylandSurface : public Surface, private common::NoCopy {
 public:
  // The window's surface, or null when the program does not run on Wayland,
  // the window has no wl_surface yet, Qt's scale for it is not a whole
  // number, or the compositor offers no wl_shm (Qt's backing store draws
  // then). A surface made with a null `paint` only ever shows black (a
  // cover), at Qt's whole scale: black needs no pixels of its own.
  static std::unique_ptr<WaylandSurface> create(QWindow& window, SurfacePaint paint,
                                                SurfaceBoxes boxes);
  ~WaylandSurface() override;

  // Takes the events that arrived on Qt's connection for this surface's own
  // queue, never Qt's: the preferred scale and the buffers' release.
  void readNews() override;
  // Whether this surface still draws the window as it is: the same
  // wl_surface, size, scale and device size, the scale as readNews() and the
  // output watch last heard it. Made anew otherwise.
  bool fits() const override;
  // Device pixels per logical pixel in the buffers: the output's scale, which
  // may be fractional, for the scene; Qt's whole scale for a cover.
  qreal scale() const override { return scale_; }
  // Whether wp_viewporter lays the buffers on the window (a fractional scale).
  bool viewported() const { return viewport_ != nullptr; }
  // Shows `changed` (logical pixels) anew: painted into the buffer shown
  // next, that buffer brought up to date, the changed boxes damaged, one
  // commit. With neither buffer released yet the change waits and is shown
  // with the next, or a moment later.
  void show(const QRegion& changed) override;
  // As show(), with the whole window damaged: after an expose. `content` is
  // every box that is not black ground.
  void showAll(const QRegion& content) override;
  // Black over the whole window, once: a cover. Nothing is sent again while
  // the window keeps its surface and size.
  void showBlack() override;

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

  // How the window is drawn: device pixels per logical pixel, and the
  // buffers' size.
  struct Fit {
    qreal scale = 1;
    QSize device;
    friend bool operator==(const Fit&, const Fit&) = default;
  };

  WaylandSurface(QWindow& window, wl_display* display, wl_surface* surface, SurfacePaint paint,
                 SurfaceBoxes boxes);
  bool bind();
  // The scale and device size the window should be drawn at now.
  Fit fitNow() const;
  // Makes the two buffers at the window's device size; they start black.
  bool makeBuffers();
  // Makes the black buffer a cover shows.
  bool makeBlack();
  // A pool over the whole of mappingBytes_ of the file fd, which it takes.
  void makePool(int fd);
  void dropBuffers();
  void attachAndCommit(wl_buffer* buffer, const QRegion& deviceDamage);
  void paintPending(bool whole);
  void copyBoxes(const Buffer& from, Buffer& to, const QRegion& logical);
  // The device pixels a logical region touches, its edges rounded outward.
  QRegion toDevice(const QRegion& logical) const;
  QRect toDevice(const QRect& logical) const;
  static void released(void* data, wl_buffer* buffer);
  static void preferredScale(void* data, wp_fractional_scale_v1* object, uint32_t scale);
  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version);
  static void globalRemoved(void* data, wl_registry* registry, uint32_t name);

  QWindow& window_;
  wl_display* display_;
  wl_surface* surface_;
  SurfacePaint paint_;
  SurfaceBoxes boxes_;
  wl_event_queue* queue_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_shm* shm_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_manager_v1* fractionalManager_ = nullptr;
  wp_fractional_scale_v1* fractional_ = nullptr;
  // The compositor's preferred scale in 120ths; 0 until it says.
  uint32_t preferred120_ = 0;
  // The outputs, for the scene's scale where no preferred scale comes; null
  // for a cover, or without wp_viewporter.
  std::unique_ptr<WaylandOutputWatch> outputs_;
  wl_shm_pool* pool_ = nullptr;
  void* mapping_ = nullptr;
  size_t mappingBytes_ = 0;
  std::array<Buffer, 2> buffers_;
  Buffer* front_ = nullptr;  // the buffer last committed
  wl_buffer* black_ = nullptr;
  bool blackShown_ = false;
  QSize logicalSize_;
  // Qt's whole scale for the window when the surface was made.
  int qtScale_ = 1;
  qreal scale_ = 1;
  QSize deviceSize_;
  // Changes not yet shown, waiting for a buffer to be released.
  QRegion pending_;
  bool pendingWhole_ = false;
  QTimer retry_;
  int commits_ = 0;
  QRegion lastDamage_;
};

}  // namespace tw::platform
