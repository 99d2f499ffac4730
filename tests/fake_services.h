// A deterministic stand-in for the machine: a fixed screen, a wall clock on
// the saver's virtual time, a text measure from character counts, and a
// record of every box and address the core asked for. Files are real, in a
// folder of the test's own, but a full, failing or interrupting disk can be
// played at any step of an append.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
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

  int openToAppend(const std::string& path, int& handle) override {
    if (openError != 0) return openError;
    handle = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (handle < 0) return errno;
    struct stat info {};
    if (::fstat(handle, &info) == 0 && S_ISREG(info.st_mode)) return 0;
    ::close(handle);
    return EINVAL;
  }
  int fileLength(int handle, int64_t& length) override {
    struct stat info {};
    if (::fstat(handle, &info) != 0) return errno;
    length = info.st_size;
    return 0;
  }
  int writeSome(int handle, std::string_view bytes, size_t& written) override {
    written = 0;
    size_t take = bytes.size();
    int error = 0;
    if (!writes.empty()) {
      take = std::min(take, writes.front().accepted);
      error = writes.front().error;
      writes.pop_front();
    }
    if (take > 0) {
      const ssize_t n = ::write(handle, bytes.data(), take);
      if (n < 0) return errno;
      written = static_cast<size_t>(n);
      writtenPieces.emplace_back(bytes.substr(0, written));
    }
    // A system call that wrote something reports success with a short count.
    return written > 0 ? 0 : error;
  }
  int syncFile(int handle) override {
    if (!syncs.empty()) {
      const int error = syncs.front();
      syncs.pop_front();
      if (error != 0) return error;
    }
    return ::fsync(handle) == 0 ? 0 : errno;
  }
  int cutTo(int handle, int64_t length) override {
    ++cuts;
    if (cutError != 0) return cutError;
    return ::ftruncate(handle, length) == 0 ? 0 : errno;
  }
  void closeFile(int handle) override { ::close(handle); }
  void tellUser(const std::string& line) override { told.push_back(line); }
  void messageBox(const std::string& text, const std::string& title) override {
    boxes.push_back(title + ": " + text);
    if (whileBoxOpen) whileBoxOpen();
  }
  void openAddress(const std::string& address) override { opened.push_back(address); }
  void runTimeErrorBox(const RunTimeError& error) override {
    errors.push_back(std::to_string(error.number()) + " " + error.what());
    if (whileBoxOpen) whileBoxOpen();
  }

  // One step for each write call, in order, then real writes: at most
  // `accepted` bytes reach the file, then `error` when none did.
  struct WriteStep {
    size_t accepted = 0;
    int error = 0;
  };
  std::deque<WriteStep> writes;
  // The outcome of each sync in order (0: a real one), then real ones.
  std::deque<int> syncs;
  int openError = 0, cutError = 0;
  int cuts = 0;
  std::vector<std::string> writtenPieces, told;
  // What happens while a box (a message or a run-time error) is open, as
  // events the platform would deliver meanwhile.
  std::function<void()> whileBoxOpen;

  VirtualWallClock wall;
  Extent screen;
  std::string folder = std::filesystem::temp_directory_path().string();
  std::vector<std::string> synced, boxes, opened, errors;
};

}  // namespace tw::test
