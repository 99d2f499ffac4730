// The faces the core's design-time fonts are drawn in, and their metrics.
// Sizes are points at 96 dpi whatever the display reports, so a caption has
// the same pixel extent on every machine.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPoint>
#include <QStaticText>
#include <QString>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

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
    // Read once: asking the metrics looks the font up again every time.
    int ascent = 0;
    int lineSpacing = 0;
    // The ascent before rounding, where a laid-out line's baseline lies below
    // its top.
    qreal exactAscent = 0;
  };
  const Entry& get(const Font& font);
  // The extent of a caption in pixels: its widest line by the number of lines,
  // lines split at CR LF.
  QSize textSize(std::string_view text, const Font& font);
  // Draws a caption in the font and the painter's pen: its lines split at
  // CR LF, the first line's top at `topLeft`, each baseline on a whole pixel
  // and a line spacing below the last, as QPainter::drawText draws them at
  // those baselines. The lines are laid out once per caption and font: a
  // caption is drawn again and again (the clock's digits under the passing
  // walker, ten times a second) without being shaped or looked up anew. A line
  // whose ink lies wholly outside `clip` is left out: it would change no pixel
  // there.
  void draw(QPainter& painter, const std::string& caption, const Font& font, QPoint topLeft, const QRect& clip);
  // Where the ink of a caption drawn as above can be; empty for no ink.
  QRect ink(const std::string& caption, const Font& font, QPoint topLeft);
  // Whether a caption is a figure (the clock, the date, the distance), drawn
  // and measured glyph by glyph from glyphs kept per face: a new figure every
  // second is then never shaped. Figures have no kerning in these faces, so
  // the glyphs stand exactly where a shaped line puts them.
  static bool isFigure(std::string_view caption);

 private:
  using Key = std::tuple<std::string, float, int>;
  struct Line {
    QStaticText text;
    QRect ink;  // relative to the line's start on its baseline
  };
  using Layout = std::vector<Line>;
  struct Glyph {
    QStaticText text;
    qreal advance = 0;
    QRect ink;  // relative to the glyph's origin on the baseline
  };
  struct Face {
    Entry entry;
    std::map<std::string, Layout, std::less<>> layouts;
    std::map<char, Glyph> glyphs;
  };
  Face& face(const Font& font);
  const Layout& layout(Face& face, const std::string& caption);
  const Glyph& glyph(Face& face, char c);
  // Calls visit(text, top-left, ink) for each prepared piece of a caption as
  // draw() places it: a glyph of a figure, or a line of anything else.
  template <class Visit>
  void place(Face& face, const std::string& caption, QPoint topLeft, Visit&& visit);

  std::map<Key, Face> faces_;
  // The clock alone brings a new caption every second; the layouts are
  // dropped all at once when this many have gathered.
  static constexpr size_t kMostLayouts = 64;
  size_t layouts_ = 0;
};

// The lines of a caption, split at CR LF.
QStringList captionLines(std::string_view text);

}  // namespace tw::platform
