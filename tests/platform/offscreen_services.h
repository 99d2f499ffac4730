// The real Qt services with the machine pinned down: a fixed screen, a wall
// clock on the saver's virtual time, and a log folder of the test's own.
// Fonts and text measures are the real ones, so what a test renders is what
// the saver draws.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "app/core.h"
#include "platform/system/qt_services.h"
#include "shell/clock.h"
#include "tests/stage.h"

namespace tw::platform::test {

class OffscreenServices : public QtServices {
 public:
  OffscreenServices(const Clock& clock, int widthPx, int heightPx, int64_t startMs, std::string folder)
      : widthPx_(widthPx), heightPx_(heightPx), wall_(clock, startMs), folder_(std::move(folder)) {}

  Extent screenSize() override {
    return {static_cast<float>(widthPx_) * kTwipsPerPixel, static_cast<float>(heightPx_) * kTwipsPerPixel};
  }
  LocalTime localTime() override { return wall_.localTime(); }
  std::string logFolder() override { return folder_; }
  void syncToDisk(const std::string&) override {}
  void messageBox(const std::string& text, const std::string& title) override {
    boxes.push_back(title + ": " + text);
    if (realBoxes) QtServices::messageBox(text, title);
  }
  void openAddress(const std::string& address) override { opened.push_back(address); }

  std::vector<std::string> boxes, opened;
  // Shows the real modal box too, which holds its handler until it closes.
  bool realBoxes = false;

 private:
  int widthPx_, heightPx_;
  VirtualWallClock wall_;
  std::string folder_;
};

// A saver core on the pinned-down machine, in a temporary folder of its own.
struct OffscreenSaver {
  explicit OffscreenSaver(int widthPx = 1024, int heightPx = 768, int64_t startMs = 12 * 3600 * 1000)
      : services(clock, widthPx, heightPx, startMs, folder.path().toStdString()),
        core(std::make_unique<Core>(services, clock)), stage(*core) {}

  QTemporaryDir folder;
  Clock clock;
  OffscreenServices services;
  std::unique_ptr<Core> core;
  // Where a test places elements by hand.
  tw::test::Stage stage;
};

}  // namespace tw::platform::test
