#include <cmath>
#include <set>

#include "tests/harness.h"

namespace tw::test {
namespace {

struct ScreenCase {
  const char* name;
  int widthPx, heightPx;
};

// Lays many courses, each from another time of day, and checks every bound a
// course must hold.
void checkCourses(Saver& s, int courses) {
  const float sw = s->ScreenWidth(), sh = s->ScreenHeight();
  for (int i = 0; i < courses; ++i) {
    s.services.extraMs = 37 * i;
    s->Line2.Visible = true;
    s->SetUpCourse();
    const float y = s->Label1.Top - 300;
    ASSERT_GE(y, 1) << i;
    ASSERT_LE(y, s->Height - 150) << i;
    ASSERT_LT(s->Label1.Top, sh - 500) << i;
    ASSERT_GE(s->Label2.Left, 1) << i;
    ASSERT_LT(s->Label1.Left + s->Label1.Width(), sw - 400) << i;
    ASSERT_LE(s->Label1.Left + 300, s->Width - 350) << i;
    ASSERT_EQ(static_cast<float>(s->walkerTop), s->Image1.Top) << i;
    ASSERT_EQ(s->Image1.Top, y - 15);
    ASSERT_EQ(s->Label2.Top, s->Label1.Top);
    ASSERT_EQ(s->Label5.Top, s->Label1.Top + 10);
    ASSERT_EQ(s->Label3.Top, s->Label1.Top + 15);
    ASSERT_EQ(s->Label4.Top, s->Label1.Top + 300);
    ASSERT_EQ(s->Label2.Left, s->Label1.Left - 1620);
    ASSERT_EQ(s->Label5.Left, s->Label1.Left + 15);
    ASSERT_EQ(s->Label3.Left, s->Label1.Left - 960);
    ASSERT_EQ(s->Label4.Left, s->Label2.Left);
    ASSERT_TRUE(s->Line1.Visible);
    ASSERT_FALSE(s->Line2.Visible);
    ASSERT_EQ(s->Line1.X1, 0);
    ASSERT_EQ(s->Line1.X2, sw);
    ASSERT_EQ(s->Line1.Y1, y + 295);
    ASSERT_EQ(s->Line1.Y2, y + 295);
    ASSERT_EQ(s->Line1.BorderColor, RGB(5, 10, 100));
    ASSERT_TRUE(s->walkDirection == 1 || s->walkDirection == 2);
    if (s->walkDirection == 1) {
      ASSERT_EQ(s->Image1.Left, s->Width - 16);
      ASSERT_EQ(s->walkFrame, 0);
    } else {
      ASSERT_EQ(s->Image1.Left, -320);
      ASSERT_EQ(s->walkFrame, 4);
    }
    ASSERT_TRUE(s->trenchChance == 1 || (s->trenchChance % 2 == 1 && s->trenchChance >= 3 &&
                                         s->trenchChance <= 99));
  }
}

TEST(Course, BoundsHoldOnA1024By768Screen) {
  Saver s;
  s.load();
  checkCourses(s, 5000);
}

TEST(Course, LaneAndReadoutSpanTheirWholeRange) {
  // On 1024 × 768 the lane is drawn from 1 to 10719 twips and the readout
  // from 1921 up to where the clock still clears the right edge.
  Saver s;
  s.load();
  float lowest = 1e9, highest = -1e9, leftmost = 1e9, rightmost = -1e9;
  int ones = 0, leftward = 0;
  constexpr int kCourses = 20000;
  for (int i = 0; i < kCourses; ++i) {
    s.services.extraMs = 53 * i;
    s->SetUpCourse();
    lowest = std::min(lowest, s->Label1.Top - 300);
    highest = std::max(highest, s->Label1.Top - 300);
    leftmost = std::min(leftmost, s->Label1.Left + 300);
    rightmost = std::max(rightmost, s->Label1.Left + 300);
    ones += s->trenchChance == 1;
    leftward += s->walkDirection == 1;
  }
  EXPECT_LE(highest, 10719);
  EXPECT_GT(highest, 10600);
  EXPECT_LT(lowest, 100);
  EXPECT_GE(leftmost, 1921);
  EXPECT_LT(leftmost, 2050);
  EXPECT_LT(rightmost, 15259 - s->Label1.Width() + 1);
  EXPECT_GT(rightmost, 15259 - s->Label1.Width() - 150);
  EXPECT_NEAR(ones / double(kCourses), 0.51, 0.02);
  EXPECT_NEAR(leftward / double(kCourses), 0.5, 0.02);
}

TEST(Course, TrenchChanceIsNeverEvenEvenAfterAFallSetItToZero) {
  Saver s;
  s.load();
  for (int i = 0; i < 500; ++i) {
    s->trenchChance = 0;
    s.services.extraMs = 11 * i;
    s->SetUpCourse();
    ASSERT_NE(s->trenchChance, 0);
    ASSERT_EQ(s->trenchChance % 2, 1);
  }
}

TEST(Course, EveryScreenShapeLaysOutWithoutHangOrOverflow) {
  for (ScreenCase c : {ScreenCase{"desktop", 1920, 1080}, {"4k", 3840, 2160},
                       {"portrait", 1440, 2560}, {"very wide", 16384, 768},
                       {"tall portrait", 2160, 3840}}) {
    SCOPED_TRACE(c.name);
    Saver s(c.widthPx, c.heightPx);
    s.load();
    checkCourses(s, 500);
    s->advanceBy(10 * 60 * 1000);
    EXPECT_TRUE(s.services.errors.empty());
  }
}

TEST(Course, AnyLaneOfATallPortraitScreenFitsTheWalkerTop) {
  // 3840 pixels high is 57600 twips: lanes below 32767 twips need a walker
  // top wider than 16 bits.
  Saver s(2160, 3840);
  s.load();
  float deepest = 0;
  for (int i = 0; i < 2000; ++i) {
    s.services.extraMs = 17 * i;
    s->SetUpCourse();
    deepest = std::max(deepest, s->Image1.Top);
    ASSERT_EQ(static_cast<float>(s->walkerTop), s->Image1.Top);
  }
  EXPECT_GT(deepest, 32767);
}

TEST(Course, ScreensTooSmallForTheBoundsGetTheNearestPlaces) {
  for (ScreenCase c : {ScreenCase{"320 × 200", 320, 200}, {"too short", 800, 40},
                       {"too narrow", 140, 600}, {"tiny", 16, 16}}) {
    SCOPED_TRACE(c.name);
    Saver s(c.widthPx, c.heightPx);
    s.load();
    EXPECT_TRUE(s->Line1.Visible);
    EXPECT_GE(s->Label1.Top - 300, 1);
    EXPECT_GE(s->Label2.Left, 1);
    s->advanceBy(5 * 60 * 1000);
    EXPECT_TRUE(s.services.errors.empty());
    EXPECT_FALSE(s->unloaded());
  }
}

TEST(Course, NeverTouchesDistanceCaptionsTimersOrMessages) {
  Saver s;
  s.load();
  s->advanceBy(3000);
  const std::string figure = s->Label2.Caption(), clock = s->Label1.Caption();
  const float distance = s->walkedDistance;
  const bool t1 = s->Timer1.Enabled(), t2 = s->Timer2.Enabled();
  s->Label7.Visible = true;
  s->SetUpCourse();
  EXPECT_EQ(s->Label2.Caption(), figure);
  EXPECT_EQ(s->Label1.Caption(), clock);
  EXPECT_EQ(s->walkedDistance, distance);
  EXPECT_EQ(s->Timer1.Enabled(), t1);
  EXPECT_EQ(s->Timer2.Enabled(), t2);
  EXPECT_TRUE(s->Label7.Visible) << "the warning stays until a fall hides it";
  EXPECT_TRUE(s->Label6.Visible);
}

}  // namespace
}  // namespace tw::test
