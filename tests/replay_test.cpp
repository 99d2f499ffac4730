#include <cstdio>

#include "tests/harness.h"

namespace tw::test {
namespace {

// A short digest of everything a saver shows and holds.
std::string describe(CoreUnderTest& core) {
  const Scene& w = core.scene;
  const Course& course = core.course;
  const Fall& fall = core.fall;
  std::ostringstream s;
  auto label = [&s](const Label& l) {
    s << l.caption() << '|' << l.left << ',' << l.top << ',' << l.width() << ',' << l.visible << ','
      << int(l.color.red) << ';';
  };
  for (const Label* l : {&w.clock, &w.distance, &w.distanceUnit, &w.address, &w.clockShadow,
                         &w.message, &w.warning, &w.trenchNotice})
    label(*l);
  s << w.walker.left << ',' << w.walker.top << ','
    << (w.walker.picture ? w.walker.picture->set * 100 + w.walker.picture->index : 0) << ';';
  for (const Line* l : {&w.lane, &w.trenchLine})
    s << l->x1 << ',' << l->y1 << ',' << l->x2 << ',' << l->y2 << ',' << l->visible << ';';
  for (TimerId id : kTimerIds) s << core.timers[id].enabled() << ',' << core.timers[id].interval() << ';';
  const int trenchChance = static_cast<int>(course.trenchChance());
  const int fallHold = static_cast<int>(fall.fallHold());
  s << static_cast<int>(course.direction()) << ',' << course.walkFrame() << ','
    << course.walkedDistance() << ',' << trenchChance << ',' << course.walkerTop() << ','
    << course.fallsEnabled() << ',' << fall.fallStarted() << ',' << fall.dropTicksLeft() << ','
    << fall.fallFrame() << ',' << fallHold << ',' << core.wave.waveFrame() << ','
    << core->ended();
  return s.str();
}

std::string digest(const std::string& text, uint64_t seed = 0xcbf29ce484222325ULL) {
  uint64_t h = seed;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

// A script of key releases at virtual times, played against a freshly started
// saver; the digest of its state is taken at each checkpoint.
struct Step {
  int64_t at;
  int key;  // 0: a checkpoint only
};

std::vector<std::string> play(CoreUnderTest& s, const std::vector<Step>& script) {
  std::vector<std::string> digests;
  for (const Step& step : script) {
    s->advanceTo(step.at);
    if (step.key) s->keyUp(step.key);
    digests.push_back(digest(describe(s)));
  }
  return digests;
}

const std::vector<Step> kEveryCommand = {
    {3'000, kKeyF1},  {5'000, 0},         {20'000, kKeyD},       {40'000, kKeyNumpadPlus},
    {45'000, kKeyH},  {60'000, kKeyD},    {90'000, kKeyF1},      {95'000, kKeyF1},
    {99'000, kKeyH},  {300'000, 0},       {600'000, kKeyNumpadPlus}, {1'800'000, 0}};

TEST(Replay, EveryCommandOverHalfAnHourIsReproducible) {
  // Recorded from a run whose behaviour the other tests pin down piece by
  // piece; a change here means some behaviour changed.
  const std::vector<std::string> expected = {
#include "tests/replay_every_command.inc"
  };
  StartedCore s;
  const auto digests = play(s, kEveryCommand);
  if (expected.empty()) {
    for (const auto& d : digests) std::printf("\"%s\",\n", d.c_str());
    FAIL() << "no recorded digests";
  }
  EXPECT_EQ(digests, expected);
}

TEST(Replay, TwoSaversSideBySideDoNotDisturbEachOther) {
  StartedCore alone;
  const auto solo = play(alone, kEveryCommand);

  StartedCore a, b;
  std::vector<std::string> interleaved;
  for (const Step& step : kEveryCommand) {
    b->advanceTo(step.at / 2);
    b->keyUp(kKeyD);
    a->advanceTo(step.at);
    if (step.key) a->keyUp(step.key);
    interleaved.push_back(digest(describe(a)));
  }
  EXPECT_EQ(interleaved, solo);
}

TEST(Replay, SameClockSameRun) {
  StartedCore first, second;
  EXPECT_EQ(play(first, kEveryCommand), play(second, kEveryCommand));
  CoreUnderTest later(1024, 768, 12 * 3600 * 1000 + 1);
  later.start();
  EXPECT_NE(play(later, kEveryCommand).back(), play(first, {{1'800'000, 0}}).back())
      << "another start time lays other courses";
}

}  // namespace
}  // namespace tw::test
