#include "platform/fonts.h"

#include <QFontMetricsF>
#include <QStringList>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace tw::platform {

FaceChoice faceFor(const std::string& name, int weight) {
  const QString face = QString::fromStdString(name).trimmed().toLower();
  const QFont::Weight asked = weight >= 900 ? QFont::Black : weight >= 600 ? QFont::Bold : QFont::Normal;
  // The nearest faces fontconfig offers for the design-time ones, fixed here so
  // that the picture does not change with the machine's font configuration.
  if (face == "arial") return {QStringLiteral("Liberation Sans"), asked};
  // No installed face is that heavy; asking the heaviest weight of Liberation
  // Sans gives its boldest face.
  if (face == "arial black") return {QStringLiteral("Liberation Sans"), QFont::Black};
  if (face == "verdana" || face == "ms sans serif") return {QStringLiteral("DejaVu Sans"), asked};
  return {QString::fromStdString(name), asked};
}

int pixelSizeFor(float points) {
  constexpr double kPixelsPerPoint = 96.0 / 72.0;
  return std::max(1, static_cast<int>(std::lround(points * kPixelsPerPoint)));
}

QStringList captionLines(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
      .split(QStringLiteral("\r\n"));
}

FontCache::Face& FontCache::face(const Font& font) {
  const Key key{font.name, font.size, font.weight};
  auto it = faces_.find(key);
  if (it == faces_.end()) {
    const FaceChoice choice = faceFor(font.name, font.weight);
    QFont f(choice.family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSizeFor(font.size));
    f.setWeight(choice.weight);
    const QFontMetrics metrics(f);
    it = faces_.emplace(key, Face{Entry{f, metrics, metrics.ascent(), metrics.lineSpacing(), QFontMetricsF(f).ascent()}, {}})
             .first;
  }
  return it->second;
}

const FontCache::Entry& FontCache::get(const Font& font) { return face(font).entry; }

QSize FontCache::textSize(std::string_view text, const Font& font) {
  const Entry& e = get(font);
  const QStringList lines = captionLines(text);
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, e.metrics.horizontalAdvance(line));
  return QSize(widest, static_cast<int>(lines.size()) * e.lineSpacing);
}

const FontCache::Layout& FontCache::layout(Face& face, const std::string& caption) {
  auto it = face.layouts.find(caption);
  if (it != face.layouts.end()) return it->second;
  if (layouts_ >= kMostLayouts) {
    for (auto& [key, each] : faces_) each.layouts.clear();
    layouts_ = 0;
  }
  Layout lines;
  for (const QString& line : captionLines(caption)) {
    QStaticText text(line);
    text.setTextFormat(Qt::PlainText);
    text.prepare(QTransform(), face.entry.font);
    // The metrics' bounding rectangle covers at least every pixel the line
    // inks; one pixel more on each side leaves room for any rounding.
    const QRect ink = line.isEmpty() ? QRect() : face.entry.metrics.boundingRect(line).adjusted(-1, -1, 1, 1);
    lines.push_back(Line{std::move(text), ink});
  }
  ++layouts_;
  return face.layouts.emplace(caption, std::move(lines)).first->second;
}

void FontCache::draw(QPainter& painter, const std::string& caption, const Font& font, QPoint topLeft,
                     const QRect& clip) {
  Face& f = face(font);
  bool fontSet = false;
  int baseline = topLeft.y() + f.entry.ascent;
  for (const Line& line : layout(f, caption)) {
    if (line.ink.translated(topLeft.x(), baseline).intersects(clip)) {
      if (!fontSet) painter.setFont(f.entry.font);
      fontSet = true;
      // A laid-out line is placed by its top, which lies its exact
      // (unrounded) ascent above the baseline.
      painter.drawStaticText(QPointF(topLeft.x(), baseline - f.entry.exactAscent), line.text);
    }
    baseline += f.entry.lineSpacing;
  }
}

QRect FontCache::ink(const std::string& caption, const Font& font, QPoint topLeft) {
  Face& f = face(font);
  QRect all;
  int baseline = topLeft.y() + f.entry.ascent;
  for (const Line& line : layout(f, caption)) {
    all |= line.ink.translated(topLeft.x(), baseline);
    baseline += f.entry.lineSpacing;
  }
  return all;
}

}  // namespace tw::platform
