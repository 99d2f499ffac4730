#include "platform/paint/fonts.h"

#include <QFontMetricsF>
#include <QStringList>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "shell/text.h"

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
      .split(QLatin1String(kCrLf));
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
    it = faces_.emplace(key, Face{Entry{f, metrics, metrics.ascent(), metrics.lineSpacing(), QFontMetricsF(f).ascent()}, {}, {}})
             .first;
  }
  return it->second;
}

const FontCache::Entry& FontCache::get(const Font& font) { return face(font).entry; }

bool FontCache::isFigure(std::string_view caption) {
  constexpr std::string_view kFigureCharacters = "0123456789:.-";
  return !caption.empty() && caption.find_first_not_of(kFigureCharacters) == std::string_view::npos;
}

const FontCache::Glyph& FontCache::glyph(Face& face, char c) {
  auto it = face.glyphs.find(c);
  if (it != face.glyphs.end()) return it->second;
  const QString one(QChar::fromLatin1(c));
  QStaticText text(one);
  text.setTextFormat(Qt::PlainText);
  text.prepare(QTransform(), face.entry.font);
  const qreal advance = QFontMetricsF(face.entry.font).horizontalAdvance(one);
  // As for a line: the bounding rectangle and a pixel more on each side.
  const QRect ink = face.entry.metrics.boundingRect(one).adjusted(-1, -1, 1, 1);
  return face.glyphs.emplace(c, Glyph{std::move(text), advance, ink}).first->second;
}

QSize FontCache::textSize(std::string_view text, const Font& font) {
  if (isFigure(text)) {
    Face& f = face(font);
    qreal width = 0;
    for (const char c : text) width += glyph(f, c).advance;
    // A shaped line's width is rounded the same way, once, at the end.
    return QSize(qRound(width), f.entry.lineSpacing);
  }
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

template <class Visit>
void FontCache::place(Face& face, const std::string& caption, QPoint topLeft, Visit&& visit) {
  // A piece of text is placed by its top, which lies its exact (unrounded)
  // ascent above the baseline.
  int baseline = topLeft.y() + face.entry.ascent;
  if (isFigure(caption)) {
    qreal x = topLeft.x();
    for (const char c : caption) {
      const Glyph& g = glyph(face, c);
      // A glyph may start between pixels: its ink reaches one pixel further.
      visit(g.text, QPointF(x, baseline - face.entry.exactAscent),
            g.ink.translated(qFloor(x), baseline).adjusted(0, 0, 1, 0));
      x += g.advance;
    }
    return;
  }
  for (const Line& line : layout(face, caption)) {
    visit(line.text, QPointF(topLeft.x(), baseline - face.entry.exactAscent),
          line.ink.translated(topLeft.x(), baseline));
    baseline += face.entry.lineSpacing;
  }
}

void FontCache::draw(QPainter& painter, const std::string& caption, const Font& font, QPoint topLeft,
                     const QRect& clip) {
  Face& f = face(font);
  bool fontSet = false;
  place(f, caption, topLeft, [&](const QStaticText& text, QPointF at, const QRect& ink) {
    if (!ink.intersects(clip)) return;
    if (!fontSet) painter.setFont(f.entry.font);
    fontSet = true;
    painter.drawStaticText(at, text);
  });
}

QRect FontCache::ink(const std::string& caption, const Font& font, QPoint topLeft) {
  QRect all;
  place(face(font), caption, topLeft, [&](const QStaticText&, QPointF, const QRect& ink) { all |= ink; });
  return all;
}

}  // namespace tw::platform
