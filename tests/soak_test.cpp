#include "tests/harness.h"

namespace tw::test {
namespace {

struct SoakCounts {
  int falls = 0, walkOffs = 0, events = 0;
};

// Checks, after every event, what must hold at all times.
class Invariants {
 public:
  explicit Invariants(CoreUnderTest& s) : s_(s) {}

  void check() {
    const Scene& w = s_.scene;
    const Timers& t = s_.timers;
    const Course& course = s_.course;
    ++counts.events;
    const Mode mode = s_->mode();
    // The walker walks, falls or waves, and exactly that mode's own timer runs.
    ASSERT_EQ(t.walkTimer.enabled(), mode == Mode::Walking);
    ASSERT_EQ(t.fallTimer.enabled(), mode == Mode::Falling);
    ASSERT_EQ(t.waveTimer.enabled(), mode == Mode::Waving);
    ASSERT_TRUE(s_.services.errors.empty()) << s_.services.errors.front();
    ASSERT_FALSE(s_->ended());
    ASSERT_TRUE(course.walkFrame() >= 0 && course.walkFrame() <= 8);
    ASSERT_TRUE(s_.fall.fallFrame() >= 0 && s_.fall.fallFrame() <= 6);
    ASSERT_TRUE(s_.wave.waveFrame() >= 0 && s_.wave.waveFrame() <= 10);
    ASSERT_TRUE(s_.fall.dropTicksLeft() >= 0 && s_.fall.dropTicksLeft() <= 39);
    if (w.walker.picture) {
      ASSERT_GE(w.walker.picture->index, 1);
      ASSERT_LE(w.walker.picture->index, w.framesOf(*w.walker.picture).count());
    }
    // The walker stays in the band its course allows.
    ASSERT_GE(w.walker.left, -320 - 20);
    ASSERT_LE(w.walker.left, w.width() + 70);
    // H during a fall puts the walker back on the lane; if the umbrella then
    // opens, its lift takes it up to 80 twips above the lane.
    ASSERT_GE(w.walker.top, static_cast<float>(course.walkerTop()) - 80);
    ASSERT_LT(w.walker.top, w.height() + 50);
    if (mode == Mode::Walking) {
      ASSERT_EQ(w.walker.top, static_cast<float>(course.walkerTop()));
    }
    if (mode == Mode::Waving) {
      ASSERT_EQ(w.walker.top, static_cast<float>(course.walkerTop() - 30));
    }
    ASSERT_GE(course.walkedDistance(), lastDistance_) << "the distance never decreases";
    lastDistance_ = course.walkedDistance();

    if (mode == Mode::Falling && !wasFalling_) ++counts.falls;
    wasFalling_ = mode == Mode::Falling;
    if (mode == Mode::Walking && direction_ == course.direction() && !leftFall_ &&
        (direction_ == Direction::Leftward ? w.walker.left > lastLeft_ : w.walker.left < lastLeft_))
      ++counts.walkOffs;
    leftFall_ = mode == Mode::Falling;
    direction_ = course.direction();
    lastLeft_ = w.walker.left;
  }

  SoakCounts counts;

 private:
  CoreUnderTest& s_;
  float lastDistance_ = 0, lastLeft_ = 0;
  Direction direction_{};
  bool wasFalling_ = false, leftFall_ = false;
};

// Steps the saver one due time at a time, checking after each.
void runUntil(CoreUnderTest& s, Invariants& inv, int64_t end) {
  while (!::testing::Test::HasFatalFailure()) {
    const auto due = s->nextDue();
    if (!due || *due > end) break;
    s->advanceTo(*due);
    inv.check();
  }
  s->advanceTo(end);
}

TEST(Soak, TwentyFourHoursUnattended) {
  StartedCore s;
  Invariants inv(s);
  runUntil(s, inv, kMsPerDay);
  EXPECT_GT(inv.counts.falls, 1000);
  EXPECT_GT(inv.counts.walkOffs, 100);
  // Walk ticks only run while walking, so the distance trails 24 h of ticks.
  EXPECT_GT(s.course.walkedDistance(), 0.4f * 864000 * 1.7f);
}

TEST(Soak, ThirtyDaysWithAStormOfCommandKeys) {
  StartedCore s(Falls::On, 1920, 1080);
  Invariants inv(s);
  uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  };
  constexpr int kKeys[] = {kKeyF1, kKeyH, kKeyD, kKeyNumpadPlus};
  const int64_t end = 30 * kMsPerDay;
  int64_t at = 0;
  while (at < end && !HasFatalFailure()) {
    at += 1 + static_cast<int64_t>(next() % (20 * 60 * 1000));
    runUntil(s, inv, std::min(at, end));
    if (at >= end) break;
    s->keyUp(kKeys[next() % 4]);
    inv.check();
    ASSERT_TRUE(s.services.boxes.empty()) << "the log is there: no error box";
  }
  EXPECT_GT(inv.counts.falls, 100);
  EXPECT_GT(inv.counts.walkOffs, 100);
  s->keyUp(27);
  EXPECT_EQ(s.logLines().size(), 2u) << "the banner and the one record of this run";
  EXPECT_TRUE(s->ended() && s->exitStatus() == ExitStatus::Success);
}

}  // namespace
}  // namespace tw::test
