#include "tests/harness.h"

namespace tw::test {
namespace {

struct FallTick {
  float top, left;
  int image;  // fall image shown after the tick
  int interval;
  int fallFrame;
  FallHold fallHold;
};

// A fall started by hand from `top`, its ticks run directly so that the
// depth drawn on the first tick can be read back.
struct Fall {
  explicit Fall(float top = 1500) { s.fallFrom(top, 6000); }
  FallTick tick() {
    s.fallTick();
    return FallTick{s.scene.walker.top, s.scene.walker.left,
                    s.scene.walker.picture ? s.scene.walker.picture->index : 0, s.timers.fallTimer.interval(),
                    s.fall.fallFrame(), s.fall.fallHold()};
  }
  StartedCore s;
};

TEST(Fall, DropThenUmbrellaThenFloatLoop) {
  Fall f;
  const FallTick first = f.tick();
  const int depth = f.s.fall.dropTicksLeft() + 1;
  ASSERT_GE(depth, 20);
  ASSERT_LE(depth, 39);
  EXPECT_FALSE(f.s.scene.warning.visible || f.s.scene.trenchNotice.visible) << "the fall hides the warning";

  std::vector<FallTick> ticks{first};
  for (int i = 1; i < depth + 14; ++i) ticks.push_back(f.tick());

  // The first tick, 50 down with image 1 at 10 ms, and every drop tick after it.
  for (int i = 0; i < depth - 1; ++i) {
    EXPECT_EQ(ticks[i].top, 1500 + 50 * (i + 1)) << i;
    EXPECT_EQ(ticks[i].image, 1);
    EXPECT_EQ(ticks[i].interval, 10);
    EXPECT_EQ(ticks[i].left, 6000);
  }
  const float dropped = 1500 + 50.0f * depth;
  const FallTick& last = ticks[depth - 1];  // the last drop tick opens the umbrella phase
  EXPECT_EQ(last.top, dropped);
  EXPECT_EQ(last.image, 1);
  EXPECT_EQ(last.interval, 170);
  EXPECT_EQ(last.fallFrame, 1);
  EXPECT_EQ(f.s.fall.dropTicksLeft(), 0);

  struct Expect { float dy; float dx; int image; int fallFrame; FallHold fallHold; };
  constexpr FallHold kNone = FallHold::None, kHolding = FallHold::Holding, kHeld = FallHold::Held;
  const std::vector<Expect> after = {
      {40, -20, 2, 2, kNone},   {40 - 160, 0, 3, 3, kNone}, {40, 0, 4, 4, kNone},
      {40, 0, 5, 5, kNone},     {40, 0, 6, 6, kHolding},    {40, 0, 6, 3, kHeld},
      {40, 0, 4, 4, kHeld},     {40, 0, 5, 5, kHeld},       {40, 0, 6, 6, kHolding},
      {40, 0, 6, 3, kHeld},     {40, 0, 4, 4, kHeld},       {40, 0, 5, 5, kHeld},
      {40, 0, 6, 6, kHolding}};
  float top = dropped, left = 6000;
  for (size_t i = 0; i < after.size(); ++i) {
    const FallTick& t = ticks[static_cast<size_t>(depth) + i];
    top += after[i].dy;
    left += after[i].dx;
    EXPECT_EQ(t.top, top) << "tick N+" << i + 1;
    EXPECT_EQ(t.left, left) << "tick N+" << i + 1;
    EXPECT_EQ(t.image, after[i].image) << "tick N+" << i + 1;
    EXPECT_EQ(t.fallFrame, after[i].fallFrame) << "tick N+" << i + 1;
    EXPECT_EQ(t.fallHold, after[i].fallHold) << "tick N+" << i + 1;
    EXPECT_EQ(t.interval, 170);
  }
}

TEST(Fall, EndsOnTheTickAfterTheTopReachesTheScreenHeight) {
  Fall f(1500);
  const float bottom = f.s.scene.height();
  int ticks = 0;
  while (f.s.scene.walker.top < bottom) {
    f.tick();
    ASSERT_LT(++ticks, 2000);
  }
  EXPECT_TRUE(f.s.timers.fallTimer.enabled()) << "the tick that arrives still animates";
  f.s.stage.scene().warning.visible = true;
  f.s.stage.setTrenchChance(TrenchChance::DoesNotOpen);
  f.s.services.wall.shift(1);
  f.s.fallTick();
  EXPECT_FALSE(f.s.timers.fallTimer.enabled());
  EXPECT_TRUE(f.s.timers.walkTimer.enabled());
  EXPECT_FALSE(f.s.fall.fallStarted());
  EXPECT_EQ(f.s.fall.fallFrame(), 0);
  EXPECT_EQ(f.s.fall.fallHold(), FallHold::None);
  EXPECT_TRUE(f.s.scene.warning.visible) << "the ending tick hides nothing";
  EXPECT_EQ(static_cast<float>(f.s.course.walkerTop()), f.s.scene.walker.top)
      << "a new course was laid";
  EXPECT_TRUE(f.s.scene.lane.visible);
  EXPECT_NE(f.s.course.trenchChance(), TrenchChance::NotDrawn)
      << "cleared, then drawn afresh by the new course";
}

TEST(Fall, ADropPastTheBottomEndsWithDropTicksLeftAndTheShortInterval) {
  StartedCore s;
  s.stage.scene().walker.top = s.stage.scene().height() - 120;
  s.startFall();
  s->advanceBy(100);  // the first fall after start-up comes after the design interval
  ASSERT_EQ(s.scene.walker.top, s.scene.height() - 70);
  s->advanceBy(10);
  s->advanceBy(10);
  ASSERT_GE(s.scene.walker.top, s.scene.height());
  s->advanceBy(10);
  EXPECT_FALSE(s.timers.fallTimer.enabled());
  EXPECT_GT(s.fall.dropTicksLeft(), 0);
  EXPECT_EQ(s.timers.fallTimer.interval(), 10);

  // The next fall draws a new depth, and its first tick comes 10 ms after it starts.
  s.stage.scene().walker.top = 1000;
  s.startFall();
  EXPECT_EQ(s->nextDue(), s->now() + 10);
  s->advanceBy(10);
  EXPECT_EQ(s.scene.walker.top, 1050);
  EXPECT_TRUE(s.fall.fallStarted());
}

TEST(Fall, AFallThatStartsBelowTheScreenEndsAtOnce) {
  Fall f(0);
  f.s.stage.scene().walker.top = f.s.stage.scene().height();
  f.s.stage.setDropTicksLeft(0);
  f.s.fallTick();
  EXPECT_FALSE(f.s.timers.fallTimer.enabled());
  EXPECT_EQ(f.s.fall.dropTicksLeft(), 0) << "no depth was drawn";
}

TEST(Fall, DepthsCoverTwentyToThirtyNine) {
  std::vector<int> seen(40, 0);
  for (int i = 0; i < 400; ++i) {
    Fall f;
    f.s.services.wall.shift(13 * i);
    f.tick();
    ++seen[static_cast<size_t>(f.s.fall.dropTicksLeft() + 1)];
  }
  for (int n = 0; n < 40; ++n) {
    if (n < 20) EXPECT_EQ(seen[static_cast<size_t>(n)], 0) << n;
    else EXPECT_GT(seen[static_cast<size_t>(n)], 0) << n;
  }
}

TEST(Fall, HDuringAFallWithTheMessageShownLiftsTheWalkerAndTheFallGoesOn) {
  Fall f(1500);
  for (int i = 0; i < 5; ++i) f.tick();
  const int left = f.s.fall.dropTicksLeft();
  f.s.stage.scene().message.visible = true;
  f.s.stage.commands().onKeyUp(kKeyH);
  EXPECT_EQ(f.s.scene.walker.top, static_cast<float>(f.s.course.walkerTop()));
  EXPECT_TRUE(f.s.timers.fallTimer.enabled());
  EXPECT_FALSE(f.s.timers.walkTimer.enabled()) << "the walk does not restart during a fall";
  f.tick();
  EXPECT_EQ(f.s.fall.dropTicksLeft(), left - 1);
  EXPECT_EQ(f.s.scene.walker.top, static_cast<float>(f.s.course.walkerTop()) + 50);
}

}  // namespace
}  // namespace tw::test
