// The walker's pictures, compiled into the program: walking (set 1), falling
// under the umbrella (set 2) and standing idle (set 3).
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <vector>

#include "shell/elements.h"

namespace tw::platform {

// The resource path of one picture; empty when the set or index does not exist.
QString spritePath(int set, int index);
// How many pictures a set holds (0 for an unknown set).
int spriteCount(int set);

class SpriteSet {
 public:
  // Loads every picture from the resources. A picture that cannot be read is
  // left null and simply not drawn.
  SpriteSet();
  // The picture, opaque (black where the file has no colour); null when unknown.
  const QImage& image(const Picture& picture) const;
  bool complete() const;

 private:
  std::array<std::vector<QImage>, 3> sets_;
  QImage none_;
};

// The window icon.
QImage iconImage();

}  // namespace tw::platform
