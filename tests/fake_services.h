// A deterministic stand-in for the machine: a fixed screen, a clock that runs
// on the window's virtual milliseconds, a text measure from character counts,
// and a record of every box, address and unload the core asked for.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/scene.h"

namespace tw::test {

class FakeServices : public Services {
 public:
  // Screen in pixels, 15 twips each.
  FakeServices(int widthPx = 1024, int heightPx = 768) { setScreenPixels(widthPx, heightPx); }

  void setScreenPixels(int w, int h) { screen = {w * 15.0f, h * 15.0f}; }
  // The wall clock at virtual time 0, as milliseconds since midnight.
  void setStartTime(int64_t msSinceMidnight) { startMs = msSinceMidnight; }
  void attach(const ScreenS& window) { clock = &window; }

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
  LocalTime localTime() override {
    const int64_t ms = startMs + (clock ? clock->now() : 0) + extraMs;
    // The same millisecond again (the clock and its shadow) costs nothing.
    if (ms == lastMs) return lastTime;
    lastMs = ms;
    lastTime = timeAt(ms);
    return lastTime;
  }
  static LocalTime timeAt(int64_t ms) {
    const int64_t dayMs = ms % (24 * 3600 * 1000);
    LocalTime t{2026, 12, 8 + static_cast<int>(ms / (24 * 3600 * 1000)), 0, 0, 0, 0};
    t.hour = static_cast<int>(dayMs / 3600000);
    t.minute = static_cast<int>(dayMs / 60000 % 60);
    t.second = static_cast<int>(dayMs / 1000 % 60);
    t.millisecond = static_cast<int>(dayMs % 1000);
    return t;
  }
  std::string executableFolder() override { return folder; }
  void syncToDisk(const std::string& path) override { synced.push_back(path); }
  void messageBox(const std::string& text, const std::string& title) override {
    boxes.push_back(title + ": " + text);
  }
  void openAddress(const std::string& address) override { opened.push_back(address); }
  void unloadWindow() override { ++unloads; }
  void runTimeErrorBox(const RunTimeError& error) override {
    errors.push_back(std::to_string(error.number()) + " " + error.what());
  }

  Extent screen;
  int64_t lastMs = -1;
  LocalTime lastTime;
  int64_t startMs = 12 * 3600 * 1000;
  int64_t extraMs = 0;
  const ScreenS* clock = nullptr;
  std::string folder = std::filesystem::temp_directory_path().string();
  std::vector<std::string> synced, boxes, opened, errors;
  int unloads = 0;
};

}  // namespace tw::test
