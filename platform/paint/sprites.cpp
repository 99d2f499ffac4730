#include "platform/paint/sprites.h"

#include <QImageReader>
#include <QPainter>

// The resources live in this static library; naming their initialiser here
// makes the linker keep them, and runs it before the first picture is read.
static void loadSpriteResources() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(sprites);
    return true;
  }();
  (void)loaded;
}

namespace tw::platform {
namespace {

struct SetFiles {
  const char* stem;
  int count;
};
constexpr std::array<SetFiles, 3> kSets{{{"walk", 8}, {"fall", 6}, {"idle", 10}}};

// Read with Qt's own XPM decoder and nothing else: left to guess, the reader
// loads every image format plugin (and libjpeg) to ask each whether it knows
// the file, which costs the saver's start a few milliseconds.
QImage readXpm(const QString& path) {
  QImageReader reader(path, "XPM");
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

QImage opaque(const QImage& source) {
  if (source.isNull()) return source;
  QImage out(source.size(), QImage::Format_RGB32);
  out.fill(Qt::black);
  QPainter p(&out);
  p.drawImage(0, 0, source);
  return out;
}

}  // namespace

int spriteCount(int set) {
  if (set < 1 || set > static_cast<int>(kSets.size())) return 0;
  return kSets[static_cast<size_t>(set - 1)].count;
}

QString spritePath(int set, int index) {
  if (index < 1 || index > spriteCount(set)) return {};
  return QStringLiteral(":/sprites/%1_%2.xpm")
      .arg(QLatin1String(kSets[static_cast<size_t>(set - 1)].stem))
      .arg(index);
}

SpriteSet::SpriteSet() {
  loadSpriteResources();
  for (int set = 1; set <= static_cast<int>(kSets.size()); ++set) {
    auto& images = sets_[static_cast<size_t>(set - 1)];
    for (int i = 1; i <= spriteCount(set); ++i) images.push_back(opaque(readXpm(spritePath(set, i))));
  }
}

const QImage& SpriteSet::image(const Picture& picture) const {
  if (picture.index < 1 || picture.index > spriteCount(picture.set)) return none_;
  return sets_[static_cast<size_t>(picture.set - 1)][static_cast<size_t>(picture.index - 1)];
}

bool SpriteSet::complete() const {
  for (const auto& images : sets_)
    for (const QImage& image : images)
      if (image.isNull()) return false;
  return true;
}

QImage iconImage() {
  loadSpriteResources();
  return readXpm(QStringLiteral(":/sprites/icon_48.xpm"));
}

}  // namespace tw::platform
