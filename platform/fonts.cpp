#include "platform/fonts.h"

#include <QStringList>
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

const FontCache::Entry& FontCache::get(const Font& font) {
  const Key key{font.name, font.size, font.weight};
  auto it = entries_.find(key);
  if (it == entries_.end()) {
    const FaceChoice face = faceFor(font.name, font.weight);
    QFont f(face.family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSizeFor(font.size));
    f.setWeight(face.weight);
    it = entries_.emplace(key, Entry{f, QFontMetrics(f)}).first;
  }
  return it->second;
}

QSize FontCache::textSize(std::string_view text, const Font& font) {
  const Entry& e = get(font);
  const QStringList lines = captionLines(text);
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, e.metrics.horizontalAdvance(line));
  return QSize(widest, static_cast<int>(lines.size()) * e.metrics.lineSpacing());
}

}  // namespace tw::platform
