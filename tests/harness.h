// A saver core on a fake machine, with its own temporary log folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "app/core.h"
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
      : services(clock, widthPx, heightPx, startMs), folder(freshFolder()),
        core((services.folder = folder.string(), std::make_unique<Core>(services, clock))),
        scene(core->scene()), timers(core->timers()), course(core->course()),
        fall(core->fall()), wave(core->wave()) {}
  ~Saver() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  Saver& start() {
    core->start();
    return *this;
  }
  Core* operator->() { return core.get(); }
  std::filesystem::path log() const { return folder / "walked.log"; }

  Clock clock;
  FakeServices services;
  std::filesystem::path folder;
  std::unique_ptr<Core> core;
  Scene& scene;
  Timers& timers;
  Course& course;
  Fall& fall;
  Wave& wave;
};

}  // namespace tw::test
