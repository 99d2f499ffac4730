#include <set>

#include "tests/harness.h"

namespace tw::test {
namespace {

// Lays many courses, each from another time of day, and checks every bound a
// course must hold on the screen the machine has now.
void checkCourses(CoreUnderTest& s, int courses) {
  const float sw = s.services.screen.width, sh = s.services.screen.height;
  for (int i = 0; i < courses; ++i) {
    s.services.wall.shift(37 * i);
    s.stage.scene().trenchLine.visible = true;
    s.setUpCourse();
    ASSERT_EQ(s.scene.width(), sw) << "the window covers the screen";
    ASSERT_EQ(s.scene.height(), sh) << "the window covers the screen";
    const float y = s.scene.clock.top - 300;
    ASSERT_GE(y, 1) << i;
    ASSERT_LE(y, s.scene.height() - 150) << i;
    ASSERT_LT(s.scene.clock.top, sh - 500) << i;
    ASSERT_GE(s.scene.distance.left, 1) << i;
    ASSERT_LT(s.scene.clock.left + s.scene.clock.width(), sw - 400) << i;
    ASSERT_LE(s.scene.clock.left + 300, s.scene.width() - 350) << i;
    ASSERT_EQ(static_cast<float>(s.course.walkerTop()), s.scene.walker.top) << i;
    ASSERT_EQ(s.scene.walker.top, y - 15);
    ASSERT_EQ(s.scene.distance.top, s.scene.clock.top);
    ASSERT_EQ(s.scene.clockShadow.top, s.scene.clock.top + 10);
    ASSERT_EQ(s.scene.distanceUnit.top, s.scene.clock.top + 15);
    ASSERT_EQ(s.scene.address.top, s.scene.clock.top + 300);
    ASSERT_EQ(s.scene.distance.left, s.scene.clock.left - 1620);
    ASSERT_EQ(s.scene.clockShadow.left, s.scene.clock.left + 15);
    ASSERT_EQ(s.scene.distanceUnit.left, s.scene.clock.left - 960);
    ASSERT_EQ(s.scene.address.left, s.scene.distance.left);
    ASSERT_TRUE(s.scene.lane.visible);
    ASSERT_FALSE(s.scene.trenchLine.visible);
    ASSERT_EQ(s.scene.lane.x1, 0);
    ASSERT_EQ(s.scene.lane.x2, sw);
    ASSERT_EQ(s.scene.lane.y1, y + 295);
    ASSERT_EQ(s.scene.lane.y2, y + 295);
    ASSERT_EQ(s.scene.lane.color, RGB(5, 10, 100));
    const bool leftward = s.course.direction() == Direction::Leftward;
    ASSERT_TRUE(leftward || s.course.direction() == Direction::Rightward);
    ASSERT_EQ(s.scene.walker.left, leftward ? s.scene.width() - 16 : -320);
    ASSERT_EQ(s.course.walkFrame(), leftward ? 0 : 4);
    ASSERT_NE(s.course.trenchChance(), TrenchChance::NotDrawn) << i;
  }
}

TEST(Course, LaneAndReadoutSpanTheirWholeRangeAndTheTrenchChanceIsDrawnAfresh) {
  // On 1024 × 768 the lane is drawn from 1 to 10719 twips and the readout
  // from 1921 up to where the clock still clears the right edge. Each course
  // draws its trench chance, even after a fall cleared it.
  StartedCore s;
  float lowest = 1e9, highest = -1e9, leftmost = 1e9, rightmost = -1e9;
  int ones = 0, noTrench = 0, leftward = 0;
  constexpr int kCourses = 20000;
  for (int i = 0; i < kCourses; ++i) {
    s.stage.setTrenchChance(TrenchChance::NotDrawn);
    s.services.wall.shift(53 * i);
    s.setUpCourse();
    ASSERT_NE(s.course.trenchChance(), TrenchChance::NotDrawn);
    lowest = std::min(lowest, s.scene.clock.top - 300);
    highest = std::max(highest, s.scene.clock.top - 300);
    leftmost = std::min(leftmost, s.scene.clock.left + 300);
    rightmost = std::max(rightmost, s.scene.clock.left + 300);
    ones += s.course.trenchChance() == TrenchChance::Opens;
    noTrench += s.course.trenchChance() == TrenchChance::DoesNotOpen;
    leftward += s.course.direction() == Direction::Leftward;
  }
  EXPECT_LE(highest, 10719);
  EXPECT_GT(highest, 10600);
  EXPECT_LT(lowest, 100);
  EXPECT_GE(leftmost, 1921);
  EXPECT_LT(leftmost, 2050);
  EXPECT_LT(rightmost, 15259 - s.scene.clock.width() + 1);
  EXPECT_GT(rightmost, 15259 - s.scene.clock.width() - 150);
  EXPECT_NEAR(ones / double(kCourses), 0.51, 0.02);
  EXPECT_GT(ones, 0);
  EXPECT_GT(noTrench, 0);
  EXPECT_NEAR(leftward / double(kCourses), 0.5, 0.02);
}

TEST(Course, ADrawOfOneOrAnEvenNumberOpensATrench) {
  struct Case { int draw; TrenchChance chance; };
  for (Case c : {Case{1, TrenchChance::Opens}, {2, TrenchChance::Opens},
                 {3, TrenchChance::DoesNotOpen}, {4, TrenchChance::Opens},
                 {50, TrenchChance::Opens}, {51, TrenchChance::DoesNotOpen},
                 {99, TrenchChance::DoesNotOpen}, {100, TrenchChance::Opens}}) {
    EXPECT_EQ(trenchChanceOfDraw(c.draw), c.chance) << c.draw;
  }
}

// Every screen shape lays out without hang or overflow; those too small for
// the bounds (no courses checked) get the nearest places.
TEST(Course, EveryScreenShapeLaysOutWithoutHangOrOverflow) {
  struct Case { const char* name; int widthPx, heightPx, courses; };
  for (Case c : {Case{"1024 × 768", 1024, 768, 5000}, {"desktop", 1920, 1080, 500},
                 {"4k", 3840, 2160, 500}, {"portrait", 1440, 2560, 500},
                 {"very wide", 16384, 768, 500}, {"tall portrait", 2160, 3840, 500},
                 {"320 × 200", 320, 200, 0}, {"too short", 800, 40, 0},
                 {"too narrow", 140, 600, 0}, {"tiny", 16, 16, 0}}) {
    SCOPED_TRACE(c.name);
    StartedCore s(Falls::On, c.widthPx, c.heightPx);
    if (c.courses > 0) {
      checkCourses(s, c.courses);
    } else {
      EXPECT_TRUE(s.scene.lane.visible);
      EXPECT_GE(s.scene.clock.top - 300, 1);
      EXPECT_GE(s.scene.distance.left, 1);
    }
    s->advanceBy(10 * 60 * 1000);
    EXPECT_TRUE(s.services.errors.empty());
    EXPECT_FALSE(s->ended());
  }
}

// The scene moved to a new primary screen of another size: the course under
// way keeps the size it was laid in, and every course after it is laid
// within the new screen's, its lane, readout, start and trench all measured
// on the one size.
TEST(Course, ANewPrimaryScreenGetsCoursesLaidWithinItsSize) {
  struct Case { const char* name; int widthPx, heightPx, newWidthPx, newHeightPx; };
  for (const Case& c : {Case{"to a smaller screen", 1920, 1080, 800, 600},
                        Case{"to a larger screen", 800, 600, 2560, 1440},
                        Case{"to a portrait screen", 1024, 768, 1080, 1920}}) {
    SCOPED_TRACE(c.name);
    StartedCore s(Falls::On, c.widthPx, c.heightPx);
    const float oldWidth = s.scene.width();
    s.services.setScreenPixels(c.newWidthPx, c.newHeightPx);
    // A second is far too short to cross the screen or reach a trench.
    s->advanceBy(1000);
    EXPECT_EQ(s.scene.width(), oldWidth) << "the course under way keeps its size";
    EXPECT_EQ(s.scene.lane.x2, oldWidth);
    checkCourses(s, 500);
    s.layCourse(Direction::Leftward, 7000, 3000, 8000);
    s.openTrench();
    EXPECT_EQ(s.scene.trenchLine.x2, c.newWidthPx * kTwipsPerPixel);
    s->advanceBy(10 * 60 * 1000);
    EXPECT_TRUE(s.services.errors.empty());
  }
}

// For a moment no screen at all may be attached: the next course keeps the
// last size rather than lay itself out in nothing.
TEST(Course, AScreenOfNoSizeKeepsTheLastSize) {
  StartedCore s;
  s.services.setScreenPixels(0, 0);
  s.setUpCourse();
  EXPECT_EQ(s.scene.width(), 1024 * kTwipsPerPixel);
  EXPECT_EQ(s.scene.height(), 768 * kTwipsPerPixel);
  EXPECT_EQ(s.scene.lane.x2, 1024 * kTwipsPerPixel);
}

TEST(Course, AnyLaneOfATallPortraitScreenFitsTheWalkerTop) {
  // 3840 pixels high is 57600 twips: lanes below 32767 twips need a walker
  // top wider than 16 bits.
  StartedCore s(Falls::On, 2160, 3840);
  float deepest = 0;
  for (int i = 0; i < 2000; ++i) {
    s.services.wall.shift(17 * i);
    s.setUpCourse();
    deepest = std::max(deepest, s.scene.walker.top);
    ASSERT_EQ(static_cast<float>(s.course.walkerTop()), s.scene.walker.top);
  }
  EXPECT_GT(deepest, 32767);
}

TEST(Course, NeverTouchesDistanceCaptionsTimersOrMessages) {
  StartedCore s;
  s->advanceBy(3000);
  const std::string figure = s.scene.distance.caption(), clock = s.scene.clock.caption();
  const float distance = s.course.walkedDistance();
  const bool t1 = s.timers.walkTimer.enabled(), t2 = s.timers.messageTimeout.enabled();
  s.stage.scene().warning.visible = true;
  s.setUpCourse();
  EXPECT_EQ(s.scene.distance.caption(), figure);
  EXPECT_EQ(s.scene.clock.caption(), clock);
  EXPECT_EQ(s.course.walkedDistance(), distance);
  EXPECT_EQ(s.timers.walkTimer.enabled(), t1);
  EXPECT_EQ(s.timers.messageTimeout.enabled(), t2);
  EXPECT_TRUE(s.scene.warning.visible) << "the warning stays until a fall hides it";
  EXPECT_TRUE(s.scene.message.visible);
}

// --- The walk tick and the trench.

TEST(WalkTick, FigureCountsTenthsOfASinglePrecisionDistance) {
  struct Case { int ticks; const char* figure; const char* unit; };
  for (Case c : {Case{1, "0", "cm"}, {10, "1", "cm"}, {100, "16", "cm"}, {588, "99", "cm"},
                 {589, "1", "mts"}, {590, "1", "mts"}, {600, "1.02", "mts"}, {1000, "1.69", "mts"} /* 1699.9: single precision */,
                 {7259, "12.34", "mts"}}) {
    StartedCore s(Falls::Off);
    s->advanceBy(100 * c.ticks);
    EXPECT_EQ(s.scene.distance.caption(), c.figure) << c.ticks << " ticks";
    EXPECT_EQ(s.scene.distanceUnit.caption(), c.unit) << c.ticks << " ticks";
  }
}

TEST(WalkTick, DistanceStopsGrowingWhereSinglePrecisionRunsOut) {
  StartedCore s(Falls::Off);
  s.stage.setWalkedDistance(33554432.0f);
  s.walkTick();
  EXPECT_EQ(s.course.walkedDistance(), 33554432.0f);
  EXPECT_EQ(s.scene.distance.caption(), "33554.43");
  s.stage.setWalkedDistance(4194304.0f);
  s.walkTick();
  EXPECT_EQ(s.course.walkedDistance(), 4194305.5f) << "1.7 becomes 1.5 from 2^22";
}

TEST(WalkTick, ClockAndShadowShowTheTimeOfDay) {
  CoreUnderTest s(1024, 768, ((17 * 60 + 4) * 60 + 9) * 1000LL);
  s.start();
  s->advanceBy(100);
  EXPECT_EQ(s.scene.clock.caption(), "17:04:09");
  EXPECT_EQ(s.scene.clockShadow.caption(), "17:04:09");
}

// A leftward course shows images 1 to 4 of the first set, a rightward one 5
// to 8, one a tick, 70 to a step.
TEST(WalkTick, EachDirectionShowsItsOwnFourImages) {
  struct Case { Direction direction; float start; std::vector<int> shown; float left; };
  const Case cases[] = {{Direction::Leftward, 14000, {1, 2, 3, 4, 1, 2, 3, 4, 1}, 14000 - 9 * 70},
                        {Direction::Rightward, -320, {5, 6, 7, 8, 5, 6, 7, 8, 5}, -320 + 9 * 70}};
  for (const Case& c : cases) {
    StartedCore s(Falls::Off);
    s.layCourse(c.direction, c.start);
    std::vector<int> shown;
    for (int i = 0; i < 9; ++i) {
      s.walkTick();
      shown.push_back(s.scene.walker.picture->index);
      if (c.direction == Direction::Leftward) {
        EXPECT_EQ(s.scene.walker.picture->set, 1);
      }
    }
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(s.scene.walker.left, c.left);
  }
}

TEST(WalkTick, RightwardCourseAfterALeftwardOneStartsFromImageOne) {
  // The wrap comes after the end-of-course test and sees the 4 that the new
  // rightward course set, so that course shows 1 to 8 once before 5 to 8.
  StartedCore s(Falls::Off);
  s.steerNextCourse(Direction::Rightward);
  s.layCourse(Direction::Leftward, 70);
  s.stage.setWalkFrame(3);
  s.walkTick();  // shows 4, reaches left 0 and lays the rightward course
  ASSERT_EQ(s.course.direction(), Direction::Rightward);
  ASSERT_EQ(s.scene.walker.left, -320);
  std::vector<int> shown;
  for (int i = 0; i < 12; ++i) {
    s.walkTick();
    shown.push_back(s.scene.walker.picture->index);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8}));
}

TEST(WalkTick, CourseEndsAtTheFarEdge) {
  StartedCore s(Falls::Off);
  s.layCourse(Direction::Leftward, 140);
  s.walkTick();
  EXPECT_EQ(s.scene.walker.left, 70) << "still on this course";
  s.walkTick();
  EXPECT_NE(s.scene.walker.left, 0) << "left 0 ends the course: a new one is laid";

  s.layCourse(Direction::Rightward, s.scene.width() - 140);
  s.stage.setTrenchChance(TrenchChance::DoesNotOpen);
  s.walkTick();
  EXPECT_EQ(s.scene.walker.left, s.scene.width() - 70);
  s.walkTick();
  EXPECT_TRUE(s.scene.walker.left == -320 || s.scene.walker.left == s.scene.width() - 16);
}

// The walker's left on the ticks that first show the warning and start the fall.
struct TrenchRun {
  float warnedAt = -1, fellAt = -1;
  bool courseEnded = false;
};

TrenchRun walkToTrench(CoreUnderTest& s, int maxTicks = 400) {
  TrenchRun run;
  for (int i = 0; i < maxTicks && s->mode() == Mode::Walking; ++i) {
    const float before = s.scene.walker.left;
    const Direction direction = s.course.direction();
    s.walkTick();
    if (run.warnedAt < 0 && s.scene.warning.visible) run.warnedAt = before;
    if (s->mode() == Mode::Falling) run.fellAt = before;
    if (s.course.direction() != direction ||
        (direction == Direction::Leftward ? s.scene.walker.left > before : s.scene.walker.left < before)) {
      run.courseEnded = true;
      break;
    }
  }
  return run;
}

class Trench : public WithStartedCore {};

TEST_F(Trench, LeftwardWarningStretchAndFallPoint) {
  s.layCourse(Direction::Leftward, 7000, /*distanceLeft=*/3000);
  const TrenchRun run = walkToTrench(s);
  EXPECT_EQ(run.warnedAt, 6440) << "first left strictly inside 4000..6500";
  EXPECT_EQ(run.fellAt, 2800) << "left ≤ distance.left − 200";
  EXPECT_EQ(s.scene.walker.left, 2730) << "the falling tick still steps";
  EXPECT_TRUE(s.timers.fallTimer.enabled());
  EXPECT_EQ(s.course.trenchChance(), TrenchChance::Opens);
}

TEST_F(Trench, RightwardWarningStretchAndFallPoint) {
  s.layCourse(Direction::Rightward, 5000, 3000, /*clockLeft=*/8000);
  s.stage.setTrenchChance(TrenchChance::Opens);
  const float edge = 8000 + s.scene.clock.width();
  const TrenchRun run = walkToTrench(s);
  EXPECT_EQ(run.warnedAt, 7030) << "first left strictly inside 7000..7500";
  EXPECT_GE(run.fellAt, edge - 60);
  EXPECT_LT(run.fellAt - 70, edge - 60);
  EXPECT_TRUE(s.timers.fallTimer.enabled());
}

TEST_F(Trench, RightwardStretchLastsSevenOrEightTicks) {
  for (float start : {5000.0f, 5010.0f, 5030.0f, 5069.0f}) {
    StartedCore s;
    s.layCourse(Direction::Rightward, start, 3000, 8000);
    s.stage.setTrenchChance(TrenchChance::Opens);
    int inside = 0;
    for (int i = 0; i < 60; ++i) {
      const float l = s.scene.walker.left;
      s.walkTick();
      inside += (l > 7000 && l < 7500);
    }
    EXPECT_TRUE(inside == 7 || inside == 8) << start;
  }
}

TEST_F(Trench, RightwardCourseWithoutTrenchChanceWalksOff) {
  s.layCourse(Direction::Rightward, 5000, 3000, 8000);
  s.stage.setTrenchChance(TrenchChance::DoesNotOpen);
  const TrenchRun run = walkToTrench(s);
  EXPECT_LT(run.warnedAt, 0);
  EXPECT_LT(run.fellAt, 0);
  EXPECT_TRUE(run.courseEnded);
}

TEST_F(Trench, FigureNearTheLeftEdgeFallsFromTheNextCoursesStart) {
  // distance.left between 200 and 270: the tick that finds the fall point also
  // ends the course, so the fall starts where the new course put the walker.
  s.layCourse(Direction::Leftward, 3060, /*distanceLeft=*/250);
  const TrenchRun run = walkToTrench(s);
  EXPECT_EQ(run.fellAt, 50);
  EXPECT_TRUE(run.courseEnded);
  EXPECT_TRUE(s.timers.fallTimer.enabled());
  EXPECT_FALSE(s.timers.walkTimer.enabled());
  EXPECT_TRUE(s.scene.walker.left == -320 || s.scene.walker.left == s.scene.width() - 16);
}

TEST_F(Trench, FigureAtTheLeftEdgeEndsTheCourseWithoutAFall) {
  s.layCourse(Direction::Leftward, 3000, /*distanceLeft=*/200);
  const TrenchRun run = walkToTrench(s);
  EXPECT_GT(run.warnedAt, 0);
  EXPECT_LT(run.fellAt, 0);
  EXPECT_TRUE(run.courseEnded);
  EXPECT_TRUE(s.timers.walkTimer.enabled());
  EXPECT_TRUE(s.scene.warning.visible && s.scene.trenchNotice.visible) << "the warning outlives the course";
}

TEST_F(Trench, FallsDisabledMeansNoWarningAndNoFall) {
  s.disableFalls();
  for (int course = 0; course < 40; ++course) {
    const TrenchRun run = walkToTrench(s, 1000);
    ASSERT_LT(run.warnedAt, 0);
    ASSERT_LT(run.fellAt, 0);
    ASSERT_TRUE(run.courseEnded);
  }
}

TEST_F(Trench, DisablingFallsAfterTheWarningLeavesTheTrenchOpen) {
  s.layCourse(Direction::Leftward, 7000, 3000);
  for (int i = 0; i < 10; ++i) s.walkTick();
  ASSERT_TRUE(s.scene.trenchLine.visible);
  s.disableFalls();
  const TrenchRun run = walkToTrench(s);
  EXPECT_LT(run.fellAt, 0);
  EXPECT_TRUE(run.courseEnded);
  EXPECT_TRUE(s.scene.warning.visible);
}

TEST_F(Trench, OpeningDrawsTheTrenchLevelInTheLane) {
  s.stage.scene().lane.y1 = 5000;
  s.stage.scene().lane.y2 = 5600;  // a sloping ground line: the trench stays level
  s.layCourse(Direction::Leftward, 7000, 3000, 8000);
  s.openTrench();
  EXPECT_EQ(s.scene.trenchLine.x1, 3000);
  EXPECT_EQ(s.scene.trenchLine.x2, s.scene.width());
  EXPECT_EQ(s.scene.trenchLine.y1, 5000);
  EXPECT_EQ(s.scene.trenchLine.y2, 5000);
  EXPECT_EQ(s.scene.trenchLine.color, RGB(200, 0, 0));
  EXPECT_TRUE(s.scene.trenchLine.visible);
  EXPECT_FALSE(s.scene.lane.visible);

  s.layCourse(Direction::Rightward, 7000, 3000, 8000);
  s.openTrench();
  s.openTrench();  // again: nothing changes
  EXPECT_EQ(s.scene.trenchLine.x1, 0);
  EXPECT_EQ(s.scene.trenchLine.x2, 8000 + s.scene.clock.width());
}

TEST_F(Trench, ReachingItHandsOverFromWalkToFall) {
  const float left = s.scene.walker.left;
  s.stage.scene().warning.visible = true;
  s.startFall();
  EXPECT_FALSE(s.timers.walkTimer.enabled());
  EXPECT_TRUE(s.timers.fallTimer.enabled());
  EXPECT_TRUE(s.scene.warning.visible);
  EXPECT_EQ(s.scene.walker.left, left);
}

}  // namespace
}  // namespace tw::test
