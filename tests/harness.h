// A loaded window on a fake machine, with its own temporary log folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "shell/scene.h"
#include "tests/fake_services.h"

namespace tw::test {

inline std::filesystem::path freshFolder() {
  static std::mt19937_64 names{std::random_device{}()};
  auto dir = std::filesystem::temp_directory_path() / ("trenchwalk-test-" + std::to_string(names()));
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

struct Saver {
  explicit Saver(int widthPx = 1024, int heightPx = 768, int64_t startMs = 12 * 3600 * 1000)
      : services(widthPx, heightPx), folder(freshFolder()) {
    services.folder = folder.string();
    services.setStartTime(startMs);
    window = std::make_unique<ScreenS>(services);
    services.attach(*window);
  }
  ~Saver() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  Saver& load() {
    window->load();
    return *this;
  }
  ScreenS& operator*() { return *window; }
  ScreenS* operator->() { return window.get(); }
  std::filesystem::path log() const { return folder / "walked.log"; }

  FakeServices services;
  std::filesystem::path folder;
  std::unique_ptr<ScreenS> window;
};

}  // namespace tw::test
