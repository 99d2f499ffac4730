// The real Qt services with the machine pinned down: a fixed screen, a wall
// clock that runs on the window's virtual milliseconds, and a log folder of
// the test's own. Fonts and text measures are the real ones, so what a test
// renders is what the saver draws.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt_services.h"
#include "platform/scene_paint.h"
#include "shell/scene.h"

namespace tw::platform::test {

class OffscreenServices : public QtServices {
 public:
  OffscreenServices(int widthPx, int heightPx, int64_t startMs, std::string folder)
      : widthPx_(widthPx), heightPx_(heightPx), startMs_(startMs), folder_(std::move(folder)) {}
  void attach(const ScreenS& screen) { screen_ = &screen; }

  Extent screenSize() override {
    return {static_cast<float>(widthPx_) * kTwipsPerPixel, static_cast<float>(heightPx_) * kTwipsPerPixel};
  }
  LocalTime localTime() override {
    const int64_t ms = startMs_ + (screen_ ? screen_->now() : 0);
    const int64_t day = ms % (24LL * 3600 * 1000);
    return LocalTime{2026, 12, 8, static_cast<int>(day / 3600000), static_cast<int>(day / 60000 % 60),
                     static_cast<int>(day / 1000 % 60), static_cast<int>(day % 1000)};
  }
  std::string executableFolder() override { return folder_; }
  void syncToDisk(const std::string&) override {}
  void messageBox(const std::string& text, const std::string& title) override {
    boxes.push_back(title + ": " + text);
  }
  void openAddress(const std::string& address) override { opened.push_back(address); }

  std::vector<std::string> boxes, opened;

 private:
  int widthPx_, heightPx_;
  int64_t startMs_;
  std::string folder_;
  const ScreenS* screen_ = nullptr;
};

// A window on the pinned-down machine, in a temporary folder of its own.
struct OffscreenSaver {
  explicit OffscreenSaver(int widthPx = 1024, int heightPx = 768, int64_t startMs = 12 * 3600 * 1000)
      : services(widthPx, heightPx, startMs, folder.path().toStdString()),
        screen(std::make_unique<ScreenS>(services)) {
    services.attach(*screen);
  }
  QString logPath() const { return QDir(folder.path()).filePath(QStringLiteral("walked.log")); }

  QTemporaryDir folder;
  OffscreenServices services;
  std::unique_ptr<ScreenS> screen;
};

}  // namespace tw::platform::test
