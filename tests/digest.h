// A short digest of everything a window shows and holds, for replay tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "shell/scene.h"

namespace tw::test {

inline std::string describe(const ScreenS& w) {
  std::ostringstream s;
  auto label = [&s](const Label& l) {
    s << l.Caption() << '|' << l.Left << ',' << l.Top << ',' << l.Width() << ',' << l.Visible << ','
      << int(l.ForeColor.red) << ';';
  };
  for (const Label* l : {&w.Label1, &w.Label2, &w.Label3, &w.Label4, &w.Label5, &w.Label6,
                         &w.Label7, &w.Label8})
    label(*l);
  s << w.Image1.Left << ',' << w.Image1.Top << ','
    << (w.Image1.Picture ? w.Image1.Picture->set * 100 + w.Image1.Picture->index : 0) << ';';
  for (const Line* l : {&w.Line1, &w.Line2})
    s << l->X1 << ',' << l->Y1 << ',' << l->X2 << ',' << l->Y2 << ',' << l->Visible << ';';
  for (const Timer* t : {&w.Timer1, &w.Timer2, &w.Timer3, &w.Timer4})
    s << t->Enabled() << ',' << t->Interval() << ';';
  s << w.walkDirection << ',' << w.walkFrame << ',' << w.walkedDistance << ',' << w.trenchChance
    << ',' << w.walkerTop << ',' << w.fallsEnabled << ',' << w.fallStarted << ','
    << w.dropTicksLeft << ',' << w.fallFrame << ',' << w.fallHold << ','
    << w.idleFrame << ',' << w.unloaded();
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
