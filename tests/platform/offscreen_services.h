// The real Qt services with the machine pinned down: a fixed screen, a wall
// clock on the saver's virtual time, and a log folder of the test's own.
// Fonts and text measures are the real ones, so what a test renders is what
// the saver draws.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "app/core.h"
#include "platform/driver/qt_services.h"
#include "shell/virtual_time.h"
#include "tests/stage.h"

namespace tw::platform::test {

// The wall clock the tests start at.
constexpr int64_t kNoonMs = 12 * 3600 * 1000;

class OffscreenServices : public QtServices {
 public:
  OffscreenServices(const VirtualTime& time, int widthPx, int heightPx, int64_t startMs, std::string folder)
      : widthPx_(widthPx), heightPx_(heightPx), wall_(time, startMs), folder_(std::move(folder)) {}

  Extent screenSize() override {
    return {static_cast<float>(widthPx_) * kTwipsPerPixel, static_cast<float>(heightPx_) * kTwipsPerPixel};
  }
  LocalTime localTime() override { return wall_.localTime(); }
  std::string logFolder() override { return folder_; }
  LogDisk& logDisk() override { return disk_; }
  bool openBox(const std::string& text, const std::string& title, std::function<void()> answered) override {
    boxes.push_back(title + ": " + text);
    return realBoxes && QtServices::openBox(text, title, std::move(answered));
  }
  void openAddress(const std::string& address) override { opened.push_back(address); }

  std::vector<std::string> boxes, opened;
  // Shows the real modal box too, which holds the core's events until it
  // closes; else a box counts as closed at once.
  bool realBoxes = false;

 private:
  // Real files, without the flush to the disk that a throw-away folder needs not.
  class UnflushedDisk : public PosixLogDisk {
   public:
    int syncToDisk(const std::string&) override { return 0; }
  };

  UnflushedDisk disk_;
  int widthPx_, heightPx_;
  VirtualWallClock wall_;
  std::string folder_;
};

// Runs the events until `done` says so or `limitMs` of real time have passed;
// whether it said so.
template <class Done>
bool runEventsUntil(Done done, int limitMs) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

// The pinned-down machine, in a temporary folder of its own, for a test that
// makes its own saver.
template <class Services = OffscreenServices>
struct OffscreenMachine {
  QTemporaryDir folder;
  VirtualTime time;
  Services services{time, 1024, 768, kNoonMs, folder.path().toStdString()};
};

// A saver core on the pinned-down machine, in a temporary folder of its own.
struct OffscreenCore : OffscreenMachine<> {
  std::unique_ptr<Core> core = std::make_unique<Core>(services, services.logDisk(), time);
  // Where a test places elements by hand.
  tw::test::Stage stage{*core};
};

}  // namespace tw::platform::test
