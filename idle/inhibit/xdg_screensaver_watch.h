// xdg-screensaver's record on a bare X11 session (see xdg_screensaver.h),
// watched for its end: once the last window it suspended the X screen saver
// for is resumed or gone, xdg-screensaver removes the record, and the saver
// then comes a whole delay later without any input, as after a D-Bus
// inhibitor's UnInhibit. Heard through inotify, never polled: the record's
// folder (/tmp) is watched only while the record stands, which the watch
// looks for at each wake-up the launcher has anyway (the idle source's
// report before a start, among them).
#pragma once

#include <string>

#include "common/no_copy.h"
#include "idle/decide/launcher.h"
#include "idle/loop/watched.h"

namespace tw::idle {

class XdgScreensaverWatch : public Watched, private common::NoCopy {
 public:
  // The record of USER on DISPLAY; does nothing without DISPLAY.
  explicit XdgScreensaverWatch(Launcher& launcher);
  ~XdgScreensaverWatch() override;

  bool usable() const { return inotify_ >= 0; }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  bool recordStands() const;
  void disarm();

  Launcher& launcher_;
  std::string record_;
  std::string folder_;
  int inotify_ = -1;
  int watch_ = -1;  // the folder's watch while the record stands
};

}  // namespace tw::idle
