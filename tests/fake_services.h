// A deterministic stand-in for the machine: a fixed screen, a wall clock on
// the saver's virtual time, a text measure from character counts, and a
// record of every box and address the core asked for.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/clock.h"
#include "shell/elements.h"
#include "shell/services.h"

namespace tw::test {

class FakeServices : public Services {
 public:
  FakeServices(const Clock& clock, int widthPx = 1024, int heightPx = 768,
               int64_t startMs = 12 * 3600 * 1000)
      : wall(clock, startMs) {
    setScreenPixels(widthPx, heightPx);
  }

  void setScreenPixels(int w, int h) { screen = {w * kTwipsPerPixel, h * kTwipsPerPixel}; }

  Extent screenSize() override { return screen; }
  Extent measureText(std::string_view text, const Font& font) override {
    // Every character is 0.6 em wide, a line is 1.2 em high; lines split at CR LF.
    size_t longest = 0, lines = 1, current = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r') continue;
      if (text[i] == '\n') { ++lines; current = 0; continue; }
      longest = std::max(longest, ++current);
    }
    const float em = font.size * 20.0f;  // twips per point
    return Extent{std::round(0.6f * em * static_cast<float>(longest) / 15) * 15,
                  std::round(1.2f * em * static_cast<float>(lines) / 15) * 15};
  }
  LocalTime localTime() override { return wall.localTime(); }
  std::string logFolder() override { return folder; }
  void syncToDisk(const std::string& path) override { synced.push_back(path); }
  void messageBox(const std::string& text, const std::string& title) override {
    boxes.push_back(title + ": " + text);
  }
  void openAddress(const std::string& address) override { opened.push_back(address); }
  void runTimeErrorBox(const RunTimeError& error) override {
    errors.push_back(std::to_string(error.number()) + " " + error.what());
  }

  VirtualWallClock wall;
  Extent screen;
  std::string folder = std::filesystem::temp_directory_path().string();
  std::vector<std::string> synced, boxes, opened, errors;
};

}  // namespace tw::test
