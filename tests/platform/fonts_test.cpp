#include <gtest/gtest.h>

#include <QFontInfo>

#include "platform/paint/fonts.h"
#include "platform/driver/qt_services.h"

namespace tw::platform {
namespace {

struct FaceCase {
  const char* name;
  const char* face;
  int weight;
  const char* family;
  QFont::Weight qtWeight;
};

const FaceCase kFaceCases[] = {
    {"Arial", "Arial", 400, "Liberation Sans", QFont::Normal},
    {"LowerCaseArial", "arial", 400, "Liberation Sans", QFont::Normal},
    {"BoldArial", "Arial", 700, "Liberation Sans", QFont::Bold},
    {"ArialBlackIsAskedAtBlack", "Arial Black", 700, "Liberation Sans", QFont::Black},
    {"Verdana", "Verdana", 400, "DejaVu Sans", QFont::Normal},
    {"MsSansSerif", "MS Sans Serif", 400, "DejaVu Sans", QFont::Normal},
    {"BoldMsSansSerif", "MS Sans Serif", 700, "DejaVu Sans", QFont::Bold},
    {"BlackWeight", "Verdana", 900, "DejaVu Sans", QFont::Black},
};

TEST(FontFaces, PicksTheInstalledStandIn) {
  for (const FaceCase& c : kFaceCases)
    EXPECT_EQ(faceFor(c.face, c.weight), (FaceChoice{QString::fromLatin1(c.family), c.qtWeight})) << c.name;
}

TEST(FontPixelSizes, IsPointsAt96Dpi) {
  for (const auto& [points, pixels] : {std::pair{8.25f, 11}, {9.75f, 13}, {14.25f, 19}, {16.0f, 21}, {12.0f, 16}})
    EXPECT_EQ(pixelSizeFor(points), pixels) << points;
}

TEST(Fonts, TheStandInFacesAreInstalled) {
  FontCache fonts;
  for (const char* face : {"Arial", "Verdana", "MS Sans Serif"}) {
    const QFontInfo info(fonts.get(Font{face, 8.25f, 400}).font);
    EXPECT_EQ(info.family(), faceFor(face, 400).family) << face;
    EXPECT_EQ(info.pixelSize(), 11) << face;
  }
}

TEST(Fonts, CaptionsSplitAtCrLfOnly) {
  EXPECT_EQ(captionLines("a\r\nb\r\n"), (QStringList{"a", "b", ""}));
  EXPECT_EQ(captionLines("a\nb"), (QStringList{"a\nb"}));
  EXPECT_EQ(captionLines(""), (QStringList{""}));
}

TEST(Fonts, MeasureIsTheWidestLineByTheLinesInTwips) {
  QtServices services;
  const Font font{"MS Sans Serif", 9.75f, 700};
  const QFontMetrics& metrics = services.fonts().get(font).metrics;
  const Extent one = services.measureText("Press F1 for Help", font);
  EXPECT_EQ(one.width, 15.0f * metrics.horizontalAdvance(QStringLiteral("Press F1 for Help")));
  EXPECT_EQ(one.height, 15.0f * metrics.lineSpacing());

  const Extent three = services.measureText("ab\r\nPress F1 for Help\r\nc", font);
  EXPECT_EQ(three.width, one.width);
  EXPECT_EQ(three.height, 3 * one.height);
  EXPECT_GT(services.measureText("WWW", font).width, services.measureText("iii", font).width);
}

TEST(Fonts, CacheHandsOutOneEntryPerFont) {
  FontCache fonts;
  const FontCache::Entry* first = &fonts.get(Font{"Arial", 16, 400});
  fonts.get(Font{"Arial", 8.25f, 400});
  EXPECT_EQ(&fonts.get(Font{"Arial", 16, 400}), first);
  EXPECT_NE(&fonts.get(Font{"Arial", 16, 700}), first);
}

}  // namespace
}  // namespace tw::platform
