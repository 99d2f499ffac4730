#include "platform/surface/wayland_surface.h"

#include <QGuiApplication>
#include <QTransform>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/surface/wayland_output_watch.h"

#if TRENCHWALK_WAYLAND
#include <qpa/qplatformnativeinterface.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#endif

namespace tw::platform {

#if TRENCHWALK_WAYLAND
namespace {

// 32 bits a pixel, 0xXXRRGGBB in the host's byte order: what
// QImage::Format_RGB32 holds, and a format every compositor takes.
constexpr uint32_t kShmFormat = WL_SHM_FORMAT_XRGB8888;
constexpr int kBytesPerPixel = 4;
// With neither buffer released yet, how long a change waits before it is
// tried again. The compositor releases a buffer as soon as the next one has
// been committed, so this is rare and short.
constexpr int kRetryMs = 4;
// The versions of the globals this surface uses.
constexpr uint32_t kShmVersion = 1;
constexpr uint32_t kViewporterVersion = 1;
constexpr uint32_t kFractionalScaleVersion = 1;
// wp_fractional_scale_v1 gives the scale in 120ths.
constexpr double kFractionalScaleDenominator = 120;
// A scale this near a whole number is that number.
constexpr double kWholeTolerance = 1e-9;

wl_surface* surfaceOf(QWindow& window) {
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  if (!native || !window.handle()) return nullptr;
  return static_cast<wl_surface*>(
      native->nativeResourceForWindow(QByteArrayLiteral("surface"), &window));
}

// The window's scale when it is a whole number, else 0.
int wholeScale(const QWindow& window) {
  const qreal ratio = window.devicePixelRatio();
  const int whole = static_cast<int>(std::lround(ratio));
  return whole >= 1 && std::abs(ratio - whole) < 1e-9 ? whole : 0;
}

// A logical size at a scale, each side rounded half away from zero, as
// wp_fractional_scale_v1 asks.
QSize scaled(const QSize& logical, double scale) {
  return QSize(static_cast<int>(std::lround(logical.width() * scale)),
               static_cast<int>(std::lround(logical.height() * scale)));
}

}  // namespace

std::unique_ptr<WaylandSurface> WaylandSurface::create(QWindow& window, SurfacePaint paint,
                                                       SurfaceBoxes boxes) {
  if (QGuiApplication::platformName() != QLatin1String("wayland") || wholeScale(window) == 0)
    return nullptr;
  QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
  if (!native) return nullptr;
  auto* display = static_cast<wl_display*>(
      native->nativeResourceForIntegration(QByteArrayLiteral("wl_display")));
  wl_surface* surface = surfaceOf(window);
  if (!display || !surface) return nullptr;
  std::unique_ptr<WaylandSurface> made(
      new WaylandSurface(window, display, surface, std::move(paint), std::move(boxes)));
  if (!made->bind()) return nullptr;
  const Fit fit = made->fitNow();
  made->scale_ = fit.scale;
  made->deviceSize_ = fit.device;
  if (fit.scale != static_cast<qreal>(std::lround(fit.scale))) {
    // The buffers have the device size, and the viewport gives the surface
    // its logical size; the buffer scale is then 1.
    made->viewport_ = wp_viewporter_get_viewport(made->viewporter_, surface);
    wp_viewport_set_destination(made->viewport_, made->logicalSize_.width(),
                                made->logicalSize_.height());
  }
  return made;
}

WaylandSurface::WaylandSurface(QWindow& window, wl_display* display, wl_surface* surface,
                               SurfacePaint paint, SurfaceBoxes boxes)
    : window_(window),
      display_(display),
      surface_(surface),
      paint_(std::move(paint)),
      boxes_(std::move(boxes)),
      logicalSize_(window.size()),
      qtScale_(wholeScale(window)),
      scale_(qtScale_),
      deviceSize_(logicalSize_ * qtScale_) {
  retry_.setSingleShot(true);
  retry_.setTimerType(Qt::PreciseTimer);
  retry_.callOnTimeout([this] {
    // The window may have lost its wl_surface meanwhile (closed at the end of
    // the run): what waits is then dropped, since the next expose paints all.
    readNews();
    if (fits()) {
      paintPending(pendingWhole_);
      return;
    }
    pending_ = QRegion();
    pendingWhole_ = false;
  });
}

WaylandSurface::~WaylandSurface() {
  dropBuffers();
  // Both are taken away with the next commit, which the surface made in this
  // one's place sends: a surface may have only one of each at a time.
  if (viewport_) wp_viewport_destroy(viewport_);
  if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
  outputs_.reset();
  if (fractionalManager_) wp_fractional_scale_manager_v1_destroy(fractionalManager_);
  if (viewporter_) wp_viewporter_destroy(viewporter_);
  if (shm_) wl_shm_destroy(shm_);
  if (registry_) wl_registry_destroy(registry_);
  if (queue_) {
    wl_display_flush(display_);
    wl_event_queue_destroy(queue_);
  }
}

bool WaylandSurface::bind() {
  // The globals are asked for on a queue of our own: one round trip, once.
  queue_ = wl_display_create_queue(display_);
  if (!queue_) return false;
  auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
  if (!wrapped) return false;
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue_);
  registry_ = wl_display_get_registry(wrapped);
  wl_proxy_wrapper_destroy(wrapped);
  static constexpr wl_registry_listener kListener{&WaylandSurface::global,
                                                  &WaylandSurface::globalRemoved};
  wl_registry_add_listener(registry_, &kListener, this);
  if (wl_display_roundtrip_queue(display_, queue_) < 0) return false;
  if (!shm_) return false;
  if (!paint_ || !viewporter_) return true;
  // The scene's scale: what the compositor prefers for this surface, or the
  // outputs' modes and logical sizes, watched on a connection of their own.
  // A second round trip brings the preferred scale.
  outputs_ = std::make_unique<WaylandOutputWatch>();
  if (fractionalManager_) {
    fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(fractionalManager_, surface_);
    static constexpr wp_fractional_scale_v1_listener kScaleListener{&WaylandSurface::preferredScale};
    wp_fractional_scale_v1_add_listener(fractional_, &kScaleListener, this);
  }
  return wl_display_roundtrip_queue(display_, queue_) >= 0;
}

void WaylandSurface::preferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
  static_cast<WaylandSurface*>(data)->preferred120_ = scale;
}

WaylandSurface::Fit WaylandSurface::fitNow() const {
  const QSize logical = window_.size();
  const int qt = std::max(1, wholeScale(window_));
  const Fit whole{static_cast<qreal>(qt), logical * qt};
  if (!paint_ || !viewporter_) return whole;
  double scale = 0;
  QSize device;
  if (preferred120_ > 0) {
    scale = preferred120_ / kFractionalScaleDenominator;
    device = scaled(logical, scale);
  } else if (const WaylandOutputWatch::Output* o = outputs_ ? outputs_->outputOf(window_) : nullptr;
             o && !o->logical.isEmpty() && !o->mode.isEmpty()) {
    // The mode is in the output's own orientation, the logical size as shown.
    QSize mode = o->mode;
    if ((mode.width() > mode.height()) != (o->logical.width() > o->logical.height()))
      mode.transpose();
    scale = static_cast<double>(mode.width()) / o->logical.width();
    // A window over the whole output covers its mode's pixels exactly.
    device = logical == o->logical.size() ? mode : scaled(logical, scale);
  }
  if (scale <= 0 || device.isEmpty()) return whole;
  const long rounded = std::lround(scale);
  if (rounded >= 1 && std::abs(scale - rounded) < kWholeTolerance && device == logical * rounded)
    return Fit{static_cast<qreal>(rounded), device};
  return Fit{scale, device};
}

void WaylandSurface::readNews() {
  // Only this surface's own queue, whose handlers write the state behind the
  // scale and the buffers' release; never Qt's.
  wl_display_dispatch_queue_pending(display_, queue_);
}

void WaylandSurface::global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                            uint32_t) {
  auto* self = static_cast<WaylandSurface*>(data);
  const auto is = [interface](const wl_interface& i) {
    return std::strcmp(interface, i.name) == 0;
  };
  if (is(wl_shm_interface) && !self->shm_) {
    self->shm_ =
        static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, kShmVersion));
  }
  // A cover is black at any scale: only the scene asks after scales.
  if (!self->paint_) return;
  if (is(wp_viewporter_interface) && !self->viewporter_) {
    self->viewporter_ = static_cast<wp_viewporter*>(
        wl_registry_bind(registry, name, &wp_viewporter_interface, kViewporterVersion));
  } else if (is(wp_fractional_scale_manager_v1_interface) && !self->fractionalManager_) {
    self->fractionalManager_ = static_cast<wp_fractional_scale_manager_v1*>(wl_registry_bind(
        registry, name, &wp_fractional_scale_manager_v1_interface, kFractionalScaleVersion));
  }
}

void WaylandSurface::globalRemoved(void*, wl_registry*, uint32_t) {}

bool WaylandSurface::fits() const {
  return surfaceOf(window_) == surface_ && window_.size() == logicalSize_ &&
         wholeScale(window_) == qtScale_ && fitNow() == Fit{scale_, deviceSize_};
}

void WaylandSurface::released(void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }

bool WaylandSurface::makeBuffers() {
  dropBuffers();
  const QSize device = deviceSize_;
  if (device.isEmpty()) return false;
  const size_t stride = static_cast<size_t>(device.width()) * kBytesPerPixel;
  const size_t bufferBytes = stride * static_cast<size_t>(device.height());
  const int fd = memfd_create("trenchwalk", MFD_CLOEXEC);
  if (fd < 0) return false;
  // A new file reads as zeros, which is black in this format: the buffers
  // need no clearing, and pages never written cost no memory here.
  mappingBytes_ = 2 * bufferBytes;
  if (ftruncate(fd, static_cast<off_t>(mappingBytes_)) != 0) {
    close(fd);
    return false;
  }
  mapping_ = mmap(nullptr, mappingBytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapping_ == MAP_FAILED) {
    mapping_ = nullptr;
    close(fd);
    return false;
  }
  makePool(fd);
  static constexpr wl_buffer_listener kListener{&WaylandSurface::released};
  for (size_t i = 0; i < buffers_.size(); ++i) {
    Buffer& b = buffers_[i];
    b.buffer =
        wl_shm_pool_create_buffer(pool_, static_cast<int32_t>(i * bufferBytes), device.width(),
                                  device.height(), static_cast<int32_t>(stride), kShmFormat);
    wl_buffer_add_listener(b.buffer, &kListener, &b);
    b.image = QImage(static_cast<uchar*>(mapping_) + i * bufferBytes, device.width(),
                     device.height(), static_cast<qsizetype>(stride), QImage::Format_RGB32);
    b.image.setDevicePixelRatio(scale_);
    b.painter = std::make_unique<QPainter>(&b.image);
    b.busy = false;
    b.stale = QRegion();
  }
  front_ = nullptr;
  return true;
}

// The pool is made on this surface's own queue, as its buffers' release
// events must be; the pool keeps the file, so the descriptor is closed here.
void WaylandSurface::makePool(int fd) {
  auto* wrappedShm = static_cast<wl_shm*>(wl_proxy_create_wrapper(shm_));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrappedShm), queue_);
  pool_ = wl_shm_create_pool(wrappedShm, fd, static_cast<int32_t>(mappingBytes_));
  wl_proxy_wrapper_destroy(wrappedShm);
  close(fd);
}

bool WaylandSurface::makeBlack() {
  dropBuffers();
  // One buffer the window's size that is never written: a new file reads as
  // zeros, black, and its pages cost this program no memory. (One black pixel
  // stretched by wp_viewporter would cost the compositor less, but sway 1.7
  // then stops drawing the scene on the other output.)
  const QSize device = deviceSize_;
  if (device.isEmpty()) return false;
  const size_t stride = static_cast<size_t>(device.width()) * kBytesPerPixel;
  mappingBytes_ = stride * static_cast<size_t>(device.height());
  const int fd = memfd_create("trenchwalk-black", MFD_CLOEXEC);
  if (fd < 0) return false;
  if (ftruncate(fd, static_cast<off_t>(mappingBytes_)) != 0) {
    close(fd);
    return false;
  }
  makePool(fd);
  black_ = wl_shm_pool_create_buffer(pool_, 0, device.width(), device.height(),
                                     static_cast<int32_t>(stride), kShmFormat);
  return true;
}

void WaylandSurface::dropBuffers() {
  retry_.stop();
  for (Buffer& b : buffers_) {
    b.painter.reset();
    b.image = QImage();
    if (b.buffer) wl_buffer_destroy(b.buffer);
    b.buffer = nullptr;
    b.busy = false;
    b.stale = QRegion();
  }
  front_ = nullptr;
  if (black_) wl_buffer_destroy(black_);
  black_ = nullptr;
  blackShown_ = false;
  if (pool_) wl_shm_pool_destroy(pool_);
  pool_ = nullptr;
  if (mapping_) munmap(mapping_, mappingBytes_);
  mapping_ = nullptr;
  mappingBytes_ = 0;
}

int WaylandSurface::fullBuffers() const {
  int n = 0;
  for (const Buffer& b : buffers_) n += b.buffer ? 1 : 0;
  if (black_) ++n;
  return n;
}

QImage WaylandSurface::lastPicture() const {
  if (!front_) return QImage();
  QImage copy = front_->image.copy();
  copy.setDevicePixelRatio(scale_);
  return copy;
}

QRect WaylandSurface::toDevice(const QRect& logical) const {
  const auto down = [this](int v) { return static_cast<int>(std::floor(v * scale_)); };
  const auto up = [this](int v) { return static_cast<int>(std::ceil(v * scale_)); };
  const QRect device(QPoint(down(logical.left()), down(logical.top())),
                     QPoint(up(logical.left() + logical.width()) - 1,
                            up(logical.top() + logical.height()) - 1));
  return device & QRect(QPoint(0, 0), deviceSize_);
}

QRegion WaylandSurface::toDevice(const QRegion& logical) const {
  QRegion device;
  for (const QRect& r : logical) device += toDevice(r);
  return device;
}

void WaylandSurface::attachAndCommit(wl_buffer* buffer, const QRegion& deviceDamage) {
  // The scale is set with every buffer: Qt sets it on the surface too (its
  // whole scale, even where a viewport gives the surface its size), and a
  // buffer whose size the scale does not divide is an error.
  wl_surface_set_buffer_scale(surface_, viewport_ ? 1 : static_cast<int>(std::lround(scale_)));
  wl_surface_attach(surface_, buffer, 0, 0);
  for (const QRect& r : deviceDamage)
    wl_surface_damage_buffer(surface_, r.x(), r.y(), r.width(), r.height());
  wl_surface_commit(surface_);
  wl_display_flush(display_);
  ++commits_;
  lastDamage_ = deviceDamage;
}

void WaylandSurface::show(const QRegion& changed) {
  pending_ += changed;
  paintPending(pendingWhole_);
}

void WaylandSurface::showAll(const QRegion& content) {
  if (!buffers_[0].buffer && !makeBuffers()) return;
  pending_ += content;
  pendingWhole_ = true;
  paintPending(true);
}

void WaylandSurface::paintPending(bool whole) {
  if (pending_.isEmpty() && !whole) return;
  if (!buffers_[0].buffer) return;
  // Release events that arrived since the last tick.
  readNews();
  // The buffer on screen when the compositor has released it already (it
  // holds all but the pending change), otherwise the other one.
  Buffer* next = nullptr;
  for (Buffer& b : buffers_)
    if (!b.busy && (!next || b.stale.rectCount() < next->stale.rectCount() || &b == front_))
      next = &b;
  if (!next) {
    if (!retry_.isActive()) retry_.start(kRetryMs);
    return;
  }
  Buffer& other = next == &buffers_[0] ? buffers_[1] : buffers_[0];
  // What changed since this buffer last held the whole picture, and is not
  // painted now, is the same as in the other buffer, which holds all of the
  // picture but the pending change.
  copyBoxes(other, *next, next->stale - pending_);
  QPainter& painter = *next->painter;
  for (const QRect& box : boxes_(pending_)) {
    const QRect device = toDevice(box);
    if (device.isEmpty()) continue;
    painter.save();
    // Clipped to whole device pixels: at a fractional scale a logical box's
    // edges fall inside device pixels, and every device pixel it touches is
    // painted whole, from the logical box that holds them all.
    painter.setWorldTransform(QTransform::fromScale(1 / scale_, 1 / scale_));
    painter.setClipRect(device);
    painter.setWorldTransform(QTransform());
    const QPoint topLeft(static_cast<int>(std::floor(device.left() / scale_)),
                         static_cast<int>(std::floor(device.top() / scale_)));
    const QPoint end(static_cast<int>(std::ceil((device.left() + device.width()) / scale_)),
                     static_cast<int>(std::ceil((device.top() + device.height()) / scale_)));
    paint_(painter, QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y())));
    painter.restore();
  }
  next->stale = QRegion();
  other.stale += pending_;
  attachAndCommit(next->buffer,
                  whole ? QRegion(QRect(QPoint(0, 0), deviceSize_)) : toDevice(pending_));
  next->busy = true;
  front_ = next;
  pending_ = QRegion();
  pendingWhole_ = false;
}

void WaylandSurface::copyBoxes(const Buffer& from, Buffer& to, const QRegion& logical) {
  const qsizetype stride = to.image.bytesPerLine();
  const QRect bounds = to.image.rect();
  for (const QRect& r : toDevice(logical)) {
    const QRect box = r & bounds;
    if (box.isEmpty()) continue;
    const size_t bytes = static_cast<size_t>(box.width()) * kBytesPerPixel;
    // The painter stays begun on the image; its bits are written through
    // constBits, which never detaches an image over foreign memory.
    uchar* target =
        const_cast<uchar*>(to.image.constBits()) + box.y() * stride + box.x() * kBytesPerPixel;
    const uchar* source = from.image.constBits() + box.y() * stride + box.x() * kBytesPerPixel;
    for (int y = 0; y < box.height(); ++y)
      std::memcpy(target + y * stride, source + y * stride, bytes);
  }
}

void WaylandSurface::showBlack() {
  if (blackShown_) {
    // The same buffer stays; the commit applies what the compositor asked
    // since (a configure Qt acknowledged, full screen on the output).
    wl_surface_commit(surface_);
    wl_display_flush(display_);
    return;
  }
  if (!black_ && !makeBlack()) return;
  attachAndCommit(black_, QRegion(QRect(QPoint(0, 0), deviceSize_)));
  blackShown_ = true;
}

#else  // no Wayland support compiled in: Qt's backing store always draws

std::unique_ptr<WaylandSurface> WaylandSurface::create(QWindow&, SurfacePaint, SurfaceBoxes) {
  return nullptr;
}
WaylandSurface::~WaylandSurface() = default;
void WaylandSurface::readNews() {}
bool WaylandSurface::fits() const { return false; }
void WaylandSurface::show(const QRegion&) {}
void WaylandSurface::showAll(const QRegion&) {}
void WaylandSurface::showBlack() {}
int WaylandSurface::fullBuffers() const { return 0; }
QImage WaylandSurface::lastPicture() const { return QImage(); }

#endif

}  // namespace tw::platform
