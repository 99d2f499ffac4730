// Drawing the scene, and finding which part of the window a change
// of the scene touches, so that only that part is painted again.
#pragma once

#include <QLine>
#include <QList>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <array>
#include <optional>
#include <string>

#include "platform/paint/fonts.h"
#include "platform/paint/sprites.h"
#include "shell/scene.h"

namespace tw::platform {

// A position in twips as a whole logical pixel.
int toPixels(float twips);

// The sprite's rectangle in device pixels: its corners on whole device
// pixels, each picture pixel a whole number of device pixels wide (the ratio
// rounded: at 1.5, two), standing where its bottom-left would be.
QRect spriteDeviceRect(const Scene& scene, qreal devicePixelRatio);
int spriteScale(qreal devicePixelRatio);

// Paints every element that can touch `clip` (logical pixels): black ground,
// the walker, the lines over it, the labels over those, and the help and
// warning labels on top.
void paintScene(QPainter& painter, const Scene& scene, const SpriteSet& sprites,
                FontCache& fonts, const QRect& clip);

// One element as drawn: where its pixels can be, and everything that decides them.
struct DrawnElement {
  bool visible = false;
  QRect box;  // logical pixels
  std::string caption;
  Font font;
  Rgb color;
  bool opaque = false;
  std::optional<Picture> picture;
  QLine line;
  friend bool operator==(const DrawnElement&, const DrawnElement&) = default;
};

// The eight captions, the walker, then the lane and the trench.
using SceneSnapshot = std::array<DrawnElement, 11>;

SceneSnapshot snapshotScene(const Scene& scene, qreal devicePixelRatio);
// The union of the old and new boxes of every element that changed; empty
// when nothing did.
QRegion changedRegion(const SceneSnapshot& before, const SceneSnapshot& after);

// The boxes a region is painted and sent as. A region of a few boxes comes in
// many thin bands (the clock's box and its shadow's, offset by a pixel; the
// walker's old and new boxes), and every box costs a pass over the scene, a
// request or a damaged rectangle and, where a caption lies, drawing the
// caption again: boxes whose bounding rectangle is hardly larger than they are
// go as one. Together they cover the region.
QList<QRect> paintBoxes(const QRegion& region);

}  // namespace tw::platform
