// A short digest of everything a saver shows and holds, for replay tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "tests/harness.h"

namespace tw::test {

inline std::string describe(CoreUnderTest& core) {
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

inline std::string digest(const std::string& text, uint64_t seed = 0xcbf29ce484222325ULL) {
  uint64_t h = seed;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

}  // namespace tw::test
