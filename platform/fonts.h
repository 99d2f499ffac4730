// The faces the core's design-time fonts are drawn in, and their metrics.
// Sizes are points at 96 dpi whatever the display reports, so a caption has
// the same pixel extent on every machine.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "shell/services.h"

namespace tw::platform {

// The installed family that stands in for a design-time face, and the weight
// it is asked at.
struct FaceChoice {
  QString family;
  QFont::Weight weight = QFont::Normal;
  friend bool operator==(const FaceChoice&, const FaceChoice&) = default;
};
FaceChoice faceFor(const std::string& name, int weight);

// Pixel size of a point size at 96 dpi.
int pixelSizeFor(float points);

// One QFont and its metrics per core font: captions are measured whenever
// they change (the clock once a second) and drawn on every repaint.
class FontCache {
 public:
  struct Entry {
    QFont font;
    QFontMetrics metrics;
  };
  const Entry& get(const Font& font);
  // The extent of a caption in pixels: its widest line by the number of lines,
  // lines split at CR LF.
  QSize textSize(std::string_view text, const Font& font);

 private:
  using Key = std::tuple<std::string, float, int>;
  std::map<Key, Entry> entries_;
};

// The lines of a caption, split at CR LF.
QStringList captionLines(std::string_view text);

}  // namespace tw::platform
