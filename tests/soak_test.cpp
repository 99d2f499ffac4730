#include <algorithm>

#include "tests/harness.h"

namespace tw::test {
namespace {

struct SoakCounts {
  int falls = 0, walkOffs = 0, events = 0;
};

// Checks, after every event, what must hold at all times.
class Invariants {
 public:
  explicit Invariants(Saver& s) : s_(s) {}

  void check() {
    ScreenS& w = *s_;
    ++counts.events;
    const int modes = w.Timer1.Enabled() + w.Timer3.Enabled() + w.Timer4.Enabled();
    ASSERT_LE(modes, 1) << "at most one animation timer";
    ASSERT_TRUE(s_.services.errors.empty()) << s_.services.errors.front();
    ASSERT_FALSE(w.unloaded());
    ASSERT_TRUE(w.walkFrame >= 0 && w.walkFrame <= 8);
    ASSERT_TRUE(w.fallFrame >= 0 && w.fallFrame <= 6);
    ASSERT_TRUE(w.idleFrame >= 0 && w.idleFrame <= 10);
    ASSERT_TRUE(w.dropTicksLeft >= 0 && w.dropTicksLeft <= 39);
    if (w.Image1.Picture) {
      const ImageList& set = w.Image1.Picture->set == 1   ? w.ImageList1
                             : w.Image1.Picture->set == 2 ? w.ImageList2
                                                          : w.ImageList3;
      ASSERT_GE(w.Image1.Picture->index, 1);
      ASSERT_LE(w.Image1.Picture->index, set.count());
    }
    // The walker stays in the band its course allows.
    ASSERT_GE(w.Image1.Left, -320 - 20);
    ASSERT_LE(w.Image1.Left, w.Width + 70);
    // H during a fall puts the walker back on the lane; if the umbrella then
    // opens, its lift takes it up to 80 twips above the lane.
    ASSERT_GE(w.Image1.Top, static_cast<float>(w.walkerTop) - 80);
    ASSERT_LT(w.Image1.Top, w.ScreenHeight() + 50);
    if (w.Timer1.Enabled()) {
      ASSERT_EQ(w.Image1.Top, static_cast<float>(w.walkerTop));
    }
    if (w.Timer4.Enabled()) {
      ASSERT_EQ(w.Image1.Top, static_cast<float>(w.walkerTop - 30));
    }
    ASSERT_GE(w.walkedDistance, lastDistance_) << "the distance never decreases";
    lastDistance_ = w.walkedDistance;

    if (w.Timer3.Enabled() && !wasFalling_) ++counts.falls;
    wasFalling_ = w.Timer3.Enabled();
    if (w.Timer1.Enabled() && direction_ == w.walkDirection && !leftFall_ &&
        (direction_ == 1 ? w.Image1.Left > lastLeft_ : w.Image1.Left < lastLeft_))
      ++counts.walkOffs;
    leftFall_ = w.Timer3.Enabled();
    direction_ = w.walkDirection;
    lastLeft_ = w.Image1.Left;
  }

  SoakCounts counts;

 private:
  Saver& s_;
  float lastDistance_ = 0, lastLeft_ = 0;
  int direction_ = 0;
  bool wasFalling_ = false, leftFall_ = false;
};

// Steps the window one due time at a time, checking after each.
void runUntil(Saver& s, Invariants& inv, int64_t end) {
  while (!::testing::Test::HasFatalFailure()) {
    const auto due = s->nextDue();
    if (!due || *due > end) break;
    s->advanceTo(*due);
    inv.check();
  }
  s->advanceTo(end);
}

TEST(Soak, TwentyFourHoursUnattended) {
  Saver s;
  s.load();
  Invariants inv(s);
  runUntil(s, inv, 24LL * 3600 * 1000);
  EXPECT_GT(inv.counts.falls, 1000);
  EXPECT_GT(inv.counts.walkOffs, 100);
  // Walk ticks only run while walking, so the distance trails 24 h of ticks.
  EXPECT_GT(s->walkedDistance, 0.4f * 864000 * 1.7f);
}

TEST(Soak, ThirtyDaysWithAStormOfCommandKeys) {
  Saver s(1920, 1080);
  s.load();
  Invariants inv(s);
  uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  };
  constexpr int kKeys[] = {kKeyF1, kKeyH, kKeyD, kKeyNumpadPlus};
  const int64_t end = 30LL * 24 * 3600 * 1000;
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
  std::istringstream log(readFile(s.log()));
  int lines = 0;
  for (std::string line; std::getline(log, line);) ++lines;
  EXPECT_EQ(lines, 2) << "the banner and the one record of this run";
  EXPECT_EQ(s.services.unloads, 1);
}

}  // namespace
}  // namespace tw::test
