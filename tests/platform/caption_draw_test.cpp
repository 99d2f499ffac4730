// FontCache::draw lays a caption out once and draws the layout again and
// again, and draws figures glyph by glyph from kept glyphs; the pixels must be
// exactly those of QPainter::drawText at the same baselines, the way captions
// were drawn before the layouts were kept.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/paint/fonts.h"

namespace tw::platform {
namespace {

// Every design-time font of the scene, at the sizes the handlers set.
const Font kFonts[] = {
    {"Verdana", 8.25f, 400},       {"arial", 16, 400},        {"Arial", 16, 400},
    {"Arial", 8.25f, 400},         {"MS Sans Serif", 8.25f, 700}, {"MS Sans Serif", 8.25f, 400},
    {"MS Sans Serif", 9.75f, 700}, {"Arial Black", 14.25f, 700},
};

// Captions of every kind the labels show.
const char* const kCaptions[] = {
    "00:00:00", "23:59:59", "12:34:56", "11:11:11", "0", "7", "42", "99", "1.7", "123.45", "0.01",
    "33554.43", "12-08-2026", "-1", "cm", "mts",
    "https://korvek.example", "WARNING", "OPEN TRENCH", "Press F1 for Help", "Falls = Disabled",
    "Falls = Enabled", "Key    Function\r\nF1     Help\r\nH      Hide\r\n\r\nlast line", "",
};

// The reference: each line drawn with drawText at its whole-pixel baseline.
void drawWithDrawText(QPainter& p, FontCache& fonts, const std::string& caption, const Font& font, QPoint topLeft) {
  const FontCache::Entry& face = fonts.get(font);
  p.setFont(face.font);
  int baseline = topLeft.y() + face.metrics.ascent();
  for (const QString& line : captionLines(caption)) {
    p.drawText(QPoint(topLeft.x(), baseline), line);
    baseline += face.metrics.lineSpacing();
  }
}

// Ground with something on it, so that blending onto colour counts too.
QImage ground() {
  QImage image(360, 140, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter p(&image);
  p.fillRect(QRect(0, 20, 360, 1), QColor(5, 10, 100));
  p.fillRect(QRect(40, 0, 30, 140), QColor(200, 0, 0));
  return image;
}

// Captions drawn on the ground by FontCache::draw and, for reference, by drawText.
struct BothWays {
  // The ground with `caption` drawn in `colour`, clipped to `clip` where given.
  QImage drawn(bool byDrawText, const std::string& caption, const Font& font, QPoint at, QColor colour,
               const QRect& clip) {
    QImage image = ground();
    QPainter p(&image);
    if (clip.isValid()) p.setClipRect(clip);
    p.setPen(colour);
    if (byDrawText)
      drawWithDrawText(p, plain, caption, font, at);
    else
      cached.draw(p, caption, font, at, clip.isValid() ? clip : image.rect());
    p.end();
    return image;
  }
  // The first of `times` draws by FontCache::draw that is not what drawText
  // draws; 0 when every one is.
  int firstDifferent(const std::string& caption, const Font& font, QPoint at, QColor colour = Qt::white,
                     const QRect& clip = QRect(), int times = 1) {
    const QImage expected = drawn(true, caption, font, at, colour, clip);
    for (int i = 1; i <= times; ++i)
      if (drawn(false, caption, font, at, colour, clip) != expected) return i;
    return 0;
  }
  FontCache cached, plain;
};

struct Place {
  QPoint topLeft;
  QColor colour;
};

const Place kPlaces[] = {{{3, 2}, QColor(240, 139, 95)}, {{17, 9}, QColor(128, 128, 128)},
                         {{0, 0}, QColor(0, 0, 255)},    {{31, 13}, QColor(180, 60, 0)},
                         {{5, 1}, QColor(0, 0, 0)}};

TEST(CaptionDraw, IsPixelForPixelWhatDrawTextDraws) {
  BothWays both;
  for (const Font& font : kFonts)
    for (const char* caption : kCaptions)
      for (const Place& place : kPlaces)  // twice: the second draw comes from the kept layout
        ASSERT_EQ(both.firstDifferent(caption, font, place.topLeft, place.colour, QRect(), 2), 0)
            << font.name << " " << font.size << " \"" << caption << "\"";
}

// The pixels a caption changes on black ground of `size`: how many, and their bounding box.
struct Lit {
  int pixels = 0;
  QRect box;
};
Lit litBy(FontCache& fonts, const std::string& caption, const Font& font, QPoint topLeft,
          QSize size = QSize(400, 160)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter p(&image);
  p.setPen(Qt::white);
  fonts.draw(p, caption, font, topLeft, image.rect());
  p.end();
  Lit lit;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xffffff) != 0) {
        ++lit.pixels;
        lit.box |= QRect(x, y, 1, 1);
      }
  return lit;
}

TEST(CaptionDraw, InkCoversEveryPixelTheCaptionChanges) {
  FontCache fonts;
  for (const Font& font : kFonts) {
    for (const char* caption : kCaptions) {
      const QPoint at(20, 12);
      const QRect lit = litBy(fonts, caption, font, at).box;
      const QRect ink = fonts.ink(caption, font, at);
      EXPECT_TRUE(ink.contains(lit) || lit.isEmpty())
          << font.name << " \"" << caption << "\" lit " << lit.x() << "," << lit.y() << " " << lit.width() << "x"
          << lit.height() << " ink " << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
    }
  }
}

TEST(CaptionDraw, ClippedDrawingIsDrawTextClipped) {
  // Lines whose ink misses the clip are left out; what is drawn inside any
  // clip is still exactly what drawText draws there.
  BothWays both;
  for (const Font& font : kFonts)
    for (const char* caption : {"12:34:56", "42", "Key    Function\r\nF1     Help\r\n\r\nlast line"})
      for (const QRect& clip : {QRect(0, 0, 360, 12), QRect(0, 0, 360, 9), QRect(0, 30, 360, 40),
                                QRect(60, 0, 7, 140), QRect(0, 9, 18, 18), QRect(100, 100, 50, 40)})
        ASSERT_EQ(both.firstDifferent(caption, font, QPoint(17, 9), Qt::white, clip), 0)
            << font.name << " \"" << caption << "\" clip " << clip.x() << "," << clip.y();
}

TEST(CaptionDraw, InksSomethingForEveryVisibleCaption) {
  FontCache fonts;
  EXPECT_GT(litBy(fonts, "00:00:00", Font{"arial", 16, 400}, QPoint(2, 2), QSize(200, 40)).pixels, 40);
}

// Figures are measured glyph by glyph; the widths must be exactly those of
// the shaped line, since the walk's trench edges are laid out from them.
TEST(CaptionDraw, FiguresMeasureAsTheShapedLine) {
  FontCache fonts;
  std::vector<std::string> figures;
  for (int n = 0; n < 1200; n += 7) figures.push_back(std::to_string(n));
  for (int s = 0; s < 86400; s += 4321) {
    char text[9];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    figures.emplace_back(text);
  }
  for (int c = 1; c < 3355443; c += 65537) figures.push_back(std::to_string(c / 100) + "." + std::to_string(c % 100));
  figures.insert(figures.end(), {"12-08-2026", "01-01-1999", "-42", "1.", ".5", "::"});
  for (const Font& font : kFonts) {
    const QFontMetrics shaped(fonts.get(font).font);
    for (const std::string& figure : figures) {
      ASSERT_TRUE(FontCache::isFigure(figure)) << figure;
      EXPECT_EQ(fonts.textSize(figure, font).width(), shaped.horizontalAdvance(QString::fromStdString(figure)))
          << font.name << " " << font.size << " \"" << figure << "\"";
    }
  }
  EXPECT_FALSE(FontCache::isFigure(""));
  EXPECT_FALSE(FontCache::isFigure("12 cm"));
  EXPECT_FALSE(FontCache::isFigure("1.7\r\n2"));
}

TEST(CaptionDraw, ManyCaptionsStillDrawRight) {
  // More captions than the cache keeps: it starts over and draws on.
  BothWays both;
  for (int second = 0; second < 200; ++second) {
    const std::string caption = "12:" + std::to_string(10 + second / 60) + ":" + std::to_string(10 + second % 60);
    ASSERT_EQ(both.firstDifferent(caption, Font{"arial", 16, 400}, QPoint(4, 4)), 0) << caption;
  }
}

}  // namespace
}  // namespace tw::platform
