// The commands: what a key release or a click on the window does. Keys come
// as the platform maps them to these codes.
#pragma once

#include "log/log_store.h"
#include "shell/outbox.h"
#include "shell/scene.h"
#include "walk/course.h"
#include "walk/wave.h"

namespace tw {

inline constexpr int kKeyNumpadPlus = 107;
inline constexpr int kKeyH = 72;
inline constexpr int kKeyQ = 81;
inline constexpr int kKeyD = 68;
inline constexpr int kKeyF1 = 112;

class Commands {
 public:
  Commands(Outbox& outbox, const Scene& scene, Course& course, Wave& wave, LogStore& log)
      : outbox_(outbox),
        scene_(scene),
        course_(course),
        wave_(wave),
        log_(log) {}

  // + shows the logged total, H hides the message, Q opens the maker's
  // address and ends, D turns trenches on or off, F1 shows the help; every
  // other key ends the run.
  void onKeyUp(int keyCode);
  // A click on the window itself ends the run.
  void onClick();

 private:
  Outbox& outbox_;
  const Scene& scene_;
  Course& course_;
  Wave& wave_;
  LogStore& log_;
};

}  // namespace tw
