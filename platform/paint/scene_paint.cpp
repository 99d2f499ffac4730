#include "platform/paint/scene_paint.h"

#include <QColor>
#include <QPen>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace tw::platform {
namespace {

// Glyphs may reach a little past the advance widths a caption is measured by
// (bold and heavy faces above all); the box a label repaints allows for it.
constexpr int kGlyphOverhang = 3;

QColor toQColor(Rgb c) { return QColor(c.red, c.green, c.blue); }

int extentInPixels(float twips) { return static_cast<int>(std::ceil(twips / kTwipsPerPixel)); }

QRect labelBox(const Label& label) {
  return QRect(toPixels(label.left), toPixels(label.top), extentInPixels(label.width()),
               extentInPixels(label.height()));
}

// Where a label's pixels can be: its own box when it is clipped to it,
// otherwise that box with room for overhanging glyphs.
QRect labelReach(const Label& label) {
  const QRect box = labelBox(label);
  if (!label.autoSize() && !label.opaque()) return box;
  return box.adjusted(-kGlyphOverhang, -kGlyphOverhang, kGlyphOverhang, kGlyphOverhang);
}

QLine lineInPixels(const Line& line) {
  return QLine(toPixels(line.x1), toPixels(line.y1), toPixels(line.x2), toPixels(line.y2));
}

QRect lineBox(const Line& line) {
  const QLine l = lineInPixels(line);
  const QPoint topLeft(std::min(l.x1(), l.x2()), std::min(l.y1(), l.y2()));
  if (l.y1() == l.y2()) return QRect(topLeft, QSize(std::abs(l.dx()), 1));
  if (l.x1() == l.x2()) return QRect(topLeft, QSize(1, std::abs(l.dy())));
  const QPoint bottomRight(std::max(l.x1(), l.x2()), std::max(l.y1(), l.y2()));
  return QRect(topLeft, bottomRight).adjusted(-1, -1, 1, 1);
}

void paintLine(QPainter& p, const Line& line, const QRect& clip) {
  if (!line.visible || !lineBox(line).intersects(clip)) return;
  const QLine l = lineInPixels(line);
  const QColor color = toQColor(line.color);
  // Level and upright lines fill whole pixel rows or columns, so the lane is
  // exactly one pixel high at any scale.
  if (l.y1() == l.y2() || l.x1() == l.x2()) {
    p.fillRect(lineBox(line), color);
    return;
  }
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(color, 1, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(l);
  p.restore();
}

void paintLabelBox(QPainter& p, const Label& label, const QRect& clip) {
  const QRect box = labelBox(label);
  if (label.visible && box.intersects(clip)) p.fillRect(box, Qt::black);
}

void paintLabelText(QPainter& p, const Label& label, FontCache& fonts, const QRect& clip) {
  if (!label.visible || label.caption().empty() || !labelReach(label).intersects(clip)) return;
  const QRect box = labelBox(label);
  p.save();
  if (!label.autoSize()) p.setClipRect(box, Qt::IntersectClip);
  p.setPen(toQColor(label.color));
  fonts.draw(p, label.caption(), label.font(), box.topLeft(), clip);
  p.restore();
}

void paintLabel(QPainter& p, const Label& label, FontCache& fonts, const QRect& clip) {
  if (label.opaque()) paintLabelBox(p, label, clip);
  paintLabelText(p, label, fonts, clip);
}

QRect logicalBox(const QRect& device, qreal dpr) {
  const int left = static_cast<int>(std::floor(device.left() / dpr));
  const int top = static_cast<int>(std::floor(device.top() / dpr));
  const int right = static_cast<int>(std::ceil((device.left() + device.width()) / dpr));
  const int bottom = static_cast<int>(std::ceil((device.top() + device.height()) / dpr));
  return QRect(left, top, right - left, bottom - top);
}

bool spriteShown(const Scene& scene) {
  const Picture* pic = scene.walker.picture ? &*scene.walker.picture : nullptr;
  return scene.walker.visible && pic && pic->set >= 1 && pic->set <= 3 && pic->index >= 1 &&
         pic->index <= scene.framesOf(*pic).count();
}

void paintSprite(QPainter& p, const Scene& scene, const SpriteSet& sprites, const QRect& clip) {
  if (!spriteShown(scene)) return;
  const QImage& image = sprites.image(*scene.walker.picture);
  if (image.isNull()) return;
  const qreal dpr = p.device() ? p.device()->devicePixelRatio() : 1.0;
  const QRect device = spriteDeviceRect(scene, dpr);
  if (!logicalBox(device, dpr).intersects(clip)) return;
  // Drawn in device pixels with no smoothing: every picture pixel becomes a
  // sharp block of whole device pixels, on any display scale.
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  // Combined with the painter's own transform: a box may be painted into an
  // image of its own, shifted to the image's origin.
  p.setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr), true);
  p.drawImage(QRectF(device), image);
  p.restore();
}

}  // namespace

int toPixels(float twips) { return static_cast<int>(std::floor(twips / kTwipsPerPixel)); }

int spriteScale(qreal devicePixelRatio) {
  return std::max(1, static_cast<int>(std::lround(devicePixelRatio)));
}

QRect spriteDeviceRect(const Scene& scene, qreal devicePixelRatio) {
  if (!spriteShown(scene)) return {};
  const Picture& pic = *scene.walker.picture;
  const PixelSize size = scene.framesOf(pic).size(pic.index);
  const int scale = spriteScale(devicePixelRatio);
  const int x = static_cast<int>(std::lround(toPixels(scene.walker.left) * devicePixelRatio));
  // Where the picture's bottom would be at this ratio: the feet stay on the
  // lane when whole device pixels make the picture taller than the ratio
  // would (1.5 gives each picture pixel two), rather than sinking below it.
  const int bottom =
      static_cast<int>(std::lround((toPixels(scene.walker.top) + size.height) * devicePixelRatio));
  return QRect(x, bottom - size.height * scale, size.width * scale, size.height * scale);
}

void paintScene(QPainter& p, const Scene& scene, const SpriteSet& sprites, FontCache& fonts,
                const QRect& clip) {
  p.fillRect(clip, Qt::black);
  paintSprite(p, scene, sprites, clip);
  // The clock's opaque box hides the walker falling behind it, and nothing
  // more: it lies under the lane, which runs through its top row and must read
  // unbroken, and under the captions around it, which it overlaps a little.
  paintLabelBox(p, scene.clock, clip);
  paintLine(p, scene.lane, clip);
  paintLine(p, scene.trenchLine, clip);
  paintLabel(p, scene.distance, fonts, clip);
  paintLabel(p, scene.distanceUnit, fonts, clip);
  paintLabel(p, scene.address, fonts, clip);
  // The clock's shadow lies one pixel off the digits, under them.
  paintLabel(p, scene.clockShadow, fonts, clip);
  paintLabelText(p, scene.clock, fonts, clip);
  paintLabel(p, scene.message, fonts, clip);
  paintLabel(p, scene.warning, fonts, clip);
  paintLabel(p, scene.trenchNotice, fonts, clip);
}

SceneSnapshot snapshotScene(const Scene& scene, qreal devicePixelRatio) {
  SceneSnapshot s;
  const Label* labels[] = {&scene.clock,       &scene.distance, &scene.distanceUnit,
                           &scene.address,     &scene.clockShadow, &scene.message,
                           &scene.warning,     &scene.trenchNotice};
  size_t i = 0;
  for (const Label* label : labels) {
    DrawnElement& e = s[i++];
    e.visible = label->visible;
    if (!e.visible) continue;
    e.box = labelReach(*label);
    e.caption = label->caption();
    e.font = label->font();
    e.color = label->color;
    e.opaque = label->opaque();
  }
  DrawnElement& sprite = s[i++];
  sprite.visible = spriteShown(scene);
  if (sprite.visible) {
    sprite.box = logicalBox(spriteDeviceRect(scene, devicePixelRatio), devicePixelRatio);
    sprite.picture = scene.walker.picture;
  }
  for (const Line* line : {&scene.lane, &scene.trenchLine}) {
    DrawnElement& e = s[i++];
    e.visible = line->visible;
    if (!e.visible) continue;
    e.box = lineBox(*line);
    e.color = line->color;
    e.line = lineInPixels(*line);
  }
  return s;
}

QRegion changedRegion(const SceneSnapshot& before, const SceneSnapshot& after) {
  QRegion region;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    if (before[i].visible) region += before[i].box;
    if (after[i].visible) region += after[i].box;
  }
  return region;
}

QList<QRect> paintBoxes(const QRegion& region) {
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

}  // namespace tw::platform
