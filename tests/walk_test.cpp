#include <vector>

#include "tests/harness.h"

namespace tw::test {
namespace {

// Finds a time of day at which a new course goes in `direction`, so that a
// test can make the next SetUpCourse lay a course of its choosing.
void steerNextCourse(Saver& s, int direction) {
  for (int64_t offset = 0;; offset += 7) {
    s.services.extraMs = offset;
    s->SetUpCourse();
    if (s->walkDirection == direction) return;
  }
}

// A course laid by hand: the walker at `left`, the readout's reference edges
// where the test wants them.
void layCourse(Saver& s, int direction, float walkerLeft, float label2Left = 3000,
               float label1Left = 8000) {
  s->walkDirection = direction;
  s->walkFrame = direction == 1 ? 0 : 4;
  s->Image1.Left = walkerLeft;
  s->Label2.Left = label2Left;
  s->Label1.Left = label1Left;
  s->Label7.Visible = s->Label8.Visible = false;
  s->Line1.Visible = true;
  s->Line2.Visible = false;
}

TEST(WalkTick, FigureCountsTenthsOfASinglePrecisionDistance) {
  struct Case { int ticks; const char* figure; const char* unit; };
  for (Case c : {Case{1, "0", "cm"}, {10, "1", "cm"}, {100, "16", "cm"}, {588, "99", "cm"},
                 {589, "1", "mts"}, {590, "1", "mts"}, {600, "1.02", "mts"}, {1000, "1.69", "mts"} /* 1699.9: single precision */,
                 {7259, "12.34", "mts"}}) {
    Saver s;
    s.load();
    s->fallsEnabled = 0;
    s->advanceBy(100 * c.ticks);
    EXPECT_EQ(s->Label2.Caption(), c.figure) << c.ticks << " ticks";
    EXPECT_EQ(s->Label3.Caption(), c.unit) << c.ticks << " ticks";
  }
}

TEST(WalkTick, DistanceStopsGrowingWhereSinglePrecisionRunsOut) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  s->walkedDistance = 33554432.0f;
  s->Timer1_Timer();
  EXPECT_EQ(s->walkedDistance, 33554432.0f);
  EXPECT_EQ(s->Label2.Caption(), "33554.43");
  s->walkedDistance = 4194304.0f;
  s->Timer1_Timer();
  EXPECT_EQ(s->walkedDistance, 4194305.5f) << "1.7 becomes 1.5 from 2^22";
}

TEST(WalkTick, ClockAndShadowShowTheTimeOfDay) {
  Saver s(1024, 768, ((17 * 60 + 4) * 60 + 9) * 1000LL);
  s.load();
  s->advanceBy(100);
  EXPECT_EQ(s->Label1.Caption(), "17:04:09");
  EXPECT_EQ(s->Label5.Caption(), "17:04:09");
}

TEST(WalkTick, LeftwardCourseShowsImagesOneToFour) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  layCourse(s, 1, 14000);
  std::vector<int> shown;
  for (int i = 0; i < 9; ++i) {
    s->Timer1_Timer();
    shown.push_back(s->Image1.Picture->index);
    EXPECT_EQ(s->Image1.Picture->set, 1);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 1, 2, 3, 4, 1}));
  EXPECT_EQ(s->Image1.Left, 14000 - 9 * 70);
}

TEST(WalkTick, RightwardCourseShowsImagesFiveToEight) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  layCourse(s, 2, -320);
  std::vector<int> shown;
  for (int i = 0; i < 9; ++i) {
    s->Timer1_Timer();
    shown.push_back(s->Image1.Picture->index);
  }
  EXPECT_EQ(shown, (std::vector<int>{5, 6, 7, 8, 5, 6, 7, 8, 5}));
  EXPECT_EQ(s->Image1.Left, -320 + 9 * 70);
}

TEST(WalkTick, RightwardCourseAfterALeftwardOneStartsFromImageOne) {
  // The wrap comes after the end-of-course test and sees the 4 that the new
  // rightward course set, so that course shows 1 to 8 once before 5 to 8.
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  steerNextCourse(s, 2);
  layCourse(s, 1, 70);
  s->walkFrame = 3;
  s->Timer1_Timer();  // shows 4, reaches Left 0 and lays the rightward course
  ASSERT_EQ(s->walkDirection, 2);
  ASSERT_EQ(s->Image1.Left, -320);
  std::vector<int> shown;
  for (int i = 0; i < 12; ++i) {
    s->Timer1_Timer();
    shown.push_back(s->Image1.Picture->index);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8}));
}

TEST(WalkTick, CourseEndsAtTheFarEdge) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  layCourse(s, 1, 140);
  s->Timer1_Timer();
  EXPECT_EQ(s->Image1.Left, 70) << "still on this course";
  s->Timer1_Timer();
  EXPECT_NE(s->Image1.Left, 0) << "Left 0 ends the course: a new one is laid";

  layCourse(s, 2, s->Width - 140);
  s->trenchChance = 3;
  s->Timer1_Timer();
  EXPECT_EQ(s->Image1.Left, s->Width - 70);
  s->Timer1_Timer();
  EXPECT_TRUE(s->Image1.Left == -320 || s->Image1.Left == s->Width - 16);
}

// The walker's Left on the ticks that first show the warning and start the fall.
struct TrenchRun {
  float warnedAt = -1, fellAt = -1;
  bool courseEnded = false;
};

TrenchRun walkToTrench(Saver& s, int maxTicks = 400) {
  TrenchRun run;
  for (int i = 0; i < maxTicks && s->Timer1.Enabled(); ++i) {
    const float before = s->Image1.Left;
    const int direction = s->walkDirection;
    s->Timer1_Timer();
    if (run.warnedAt < 0 && s->Label7.Visible) run.warnedAt = before;
    if (!s->Timer1.Enabled()) run.fellAt = before;
    if (s->walkDirection != direction ||
        (direction == 1 ? s->Image1.Left > before : s->Image1.Left < before)) {
      run.courseEnded = true;
      break;
    }
  }
  return run;
}

TEST(Trench, LeftwardWarningStretchAndFallPoint) {
  Saver s;
  s.load();
  layCourse(s, 1, 7000, /*label2Left=*/3000);
  const TrenchRun run = walkToTrench(s);
  EXPECT_EQ(run.warnedAt, 6440) << "first Left strictly inside 4000..6500";
  EXPECT_EQ(run.fellAt, 2800) << "Left ≤ Label2.Left − 200";
  EXPECT_EQ(s->Image1.Left, 2730) << "the falling tick still steps";
  EXPECT_TRUE(s->Timer3.Enabled());
  EXPECT_EQ(s->trenchChance, 1);
}

TEST(Trench, RightwardWarningStretchAndFallPoint) {
  Saver s;
  s.load();
  layCourse(s, 2, 5000, 3000, /*label1Left=*/8000);
  s->trenchChance = 1;
  const float edge = 8000 + s->Label1.Width();
  const TrenchRun run = walkToTrench(s);
  EXPECT_EQ(run.warnedAt, 7030) << "first Left strictly inside 7000..7500";
  EXPECT_GE(run.fellAt, edge - 60);
  EXPECT_LT(run.fellAt - 70, edge - 60);
  EXPECT_TRUE(s->Timer3.Enabled());
}

TEST(Trench, RightwardStretchLastsSevenOrEightTicks) {
  for (float start : {5000.0f, 5010.0f, 5030.0f, 5069.0f}) {
    Saver s;
    s.load();
    layCourse(s, 2, start, 3000, 8000);
    s->trenchChance = 1;
    int inside = 0;
    for (int i = 0; i < 60; ++i) {
      const float l = s->Image1.Left;
      s->Timer1_Timer();
      inside += (l > 7000 && l < 7500);
    }
    EXPECT_TRUE(inside == 7 || inside == 8) << start;
  }
}

TEST(Trench, RightwardCourseWithoutTrenchChanceWalksOff) {
  Saver s;
  s.load();
  layCourse(s, 2, 5000, 3000, 8000);
  s->trenchChance = 7;
  const TrenchRun run = walkToTrench(s);
  EXPECT_LT(run.warnedAt, 0);
  EXPECT_LT(run.fellAt, 0);
  EXPECT_TRUE(run.courseEnded);
}

TEST(Trench, FigureNearTheLeftEdgeFallsFromTheNextCoursesStart) {
  // Label2.Left between 200 and 270: the tick that finds the fall point also
  // ends the course, so the fall starts where the new course put the walker.
  Saver s;
  s.load();
  layCourse(s, 1, 3060, /*label2Left=*/250);
  const TrenchRun run = walkToTrench(s);
  EXPECT_EQ(run.fellAt, 50);
  EXPECT_TRUE(run.courseEnded);
  EXPECT_TRUE(s->Timer3.Enabled());
  EXPECT_FALSE(s->Timer1.Enabled());
  EXPECT_TRUE(s->Image1.Left == -320 || s->Image1.Left == s->Width - 16);
}

TEST(Trench, FigureAtTheLeftEdgeEndsTheCourseWithoutAFall) {
  Saver s;
  s.load();
  layCourse(s, 1, 3000, /*label2Left=*/200);
  const TrenchRun run = walkToTrench(s);
  EXPECT_GT(run.warnedAt, 0);
  EXPECT_LT(run.fellAt, 0);
  EXPECT_TRUE(run.courseEnded);
  EXPECT_TRUE(s->Timer1.Enabled());
  EXPECT_TRUE(s->Label7.Visible && s->Label8.Visible) << "the warning outlives the course";
}

TEST(Trench, FallsDisabledMeansNoWarningAndNoFall) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  for (int course = 0; course < 40; ++course) {
    const TrenchRun run = walkToTrench(s, 1000);
    ASSERT_LT(run.warnedAt, 0);
    ASSERT_LT(run.fellAt, 0);
    ASSERT_TRUE(run.courseEnded);
  }
}

TEST(Trench, DisablingFallsAfterTheWarningLeavesTheTrenchOpen) {
  Saver s;
  s.load();
  layCourse(s, 1, 7000, 3000);
  for (int i = 0; i < 10; ++i) s->Timer1_Timer();
  ASSERT_TRUE(s->Line2.Visible);
  s->fallsEnabled = 0;
  const TrenchRun run = walkToTrench(s);
  EXPECT_LT(run.fellAt, 0);
  EXPECT_TRUE(run.courseEnded);
  EXPECT_TRUE(s->Label7.Visible);
}

TEST(Trench, OpenTrenchLineEndsAndColour) {
  Saver s;
  s.load();
  s->Line1.Y1 = 5000;
  s->Line1.Y2 = 5600;  // a sloping ground line: the trench stays level
  layCourse(s, 1, 7000, 3000, 8000);
  s->OpenTrench();
  EXPECT_EQ(s->Line2.X1, 3000);
  EXPECT_EQ(s->Line2.X2, s->ScreenWidth());
  EXPECT_EQ(s->Line2.Y1, 5000);
  EXPECT_EQ(s->Line2.Y2, 5000);
  EXPECT_EQ(s->Line2.BorderColor, RGB(200, 0, 0));
  EXPECT_TRUE(s->Line2.Visible);
  EXPECT_FALSE(s->Line1.Visible);

  layCourse(s, 2, 7000, 3000, 8000);
  s->OpenTrench();
  s->OpenTrench();  // again: nothing changes
  EXPECT_EQ(s->Line2.X1, 0);
  EXPECT_EQ(s->Line2.X2, 8000 + s->Label1.Width());
}

TEST(Trench, StartFallHandsOverFromWalkToFall) {
  Saver s;
  s.load();
  const float left = s->Image1.Left;
  s->Label7.Visible = true;
  s->StartFall();
  EXPECT_FALSE(s->Timer1.Enabled());
  EXPECT_TRUE(s->Timer3.Enabled());
  EXPECT_TRUE(s->Label7.Visible);
  EXPECT_EQ(s->Image1.Left, left);
}

}  // namespace
}  // namespace tw::test
