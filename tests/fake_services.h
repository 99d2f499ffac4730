// A deterministic stand-in for the machine: a fixed screen, a wall clock on
// the saver's virtual time, a text measure from character counts, and a
// record of every box and address the core asked for; and its disk, whose
// files are real, in a folder of the test's own, but which plays a full,
// failing or interrupting disk at any step, at start-up and at the end.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "log/posix_log_disk.h"
#include "shell/virtual_time.h"
#include "shell/elements.h"
#include "shell/outbox.h"
#include "shell/services.h"

namespace tw::test {

// Each call of the log's disk, by name, for the faults staged on it.
enum class DiskCall {
  EntryAt, ListFolder, PlainFileSize, ReadHead, ReadLastByte, OpenToRead, CreateNew,
  OpenToAppend, FileLength, SyncFile, CutTo, CloseFile, SyncToDisk, Rename, HardLink, Remove,
};

class FakeDisk : public LogDisk {
 public:
  // The outcome of the next calls of one kind, in order (0: the real call),
  // and then of every later one (0: real ones). A failed call does nothing,
  // but a failed close still closes, as the system's does.
  struct Faults {
    std::deque<int> next;
    int after = 0;
  };
  std::map<DiskCall, Faults> faults;
  // How often each kind was called.
  std::map<DiskCall, int> calls;

  // One step for each write call, in order, then real writes: at most
  // `accepted` bytes reach the file, then `error` when none did.
  struct WriteStep {
    size_t accepted = 0;
    int error = 0;
  };
  std::deque<WriteStep> writes;
  std::vector<std::string> writtenPieces;
  // The names a temporary gets, in order, then random ones.
  std::deque<std::string> names;
  // Every path pushed to the disk, in order.
  std::vector<std::string> synced;

  LogEntry entryAt(const std::string& path) override {
    return fault(DiskCall::EntryAt) != 0 ? LogEntry::Unknown : real_.entryAt(path);
  }
  int listFolder(const std::string& folder, std::vector<std::string>& names) override {
    return faultOr(DiskCall::ListFolder, [&] { return real_.listFolder(folder, names); });
  }
  int plainFileSize(const std::string& path, int64_t& size) override {
    return faultOr(DiskCall::PlainFileSize, [&] { return real_.plainFileSize(path, size); });
  }
  bool sameFile(const std::string& first, const std::string& second) override {
    return real_.sameFile(first, second);
  }
  int readHead(const std::string& path, size_t limit, std::string& head, bool& more) override {
    return faultOr(DiskCall::ReadHead, [&] { return real_.readHead(path, limit, head, more); });
  }
  int readLastByte(const std::string& path, char& last) override {
    return faultOr(DiskCall::ReadLastByte, [&] { return real_.readLastByte(path, last); });
  }
  std::unique_ptr<std::istream> openToRead(const std::string& path) override {
    if (fault(DiskCall::OpenToRead) != 0) return nullptr;
    return real_.openToRead(path);
  }
  std::string randomDigits(int count) override {
    if (names.empty()) return real_.randomDigits(count);
    std::string name = names.front();
    names.pop_front();
    return name;
  }
  int createNew(const std::string& path, int& handle) override {
    return faultOr(DiskCall::CreateNew, [&] { return real_.createNew(path, handle); });
  }
  int openToAppend(const std::string& path, int& handle) override {
    return faultOr(DiskCall::OpenToAppend, [&] { return real_.openToAppend(path, handle); });
  }
  int fileLength(int handle, int64_t& length) override {
    return faultOr(DiskCall::FileLength, [&] { return real_.fileLength(handle, length); });
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
      if (const int failed = real_.writeSome(handle, bytes.substr(0, take), written)) return failed;
      writtenPieces.emplace_back(bytes.substr(0, written));
    }
    // A system call that wrote something reports success with a short count.
    return written > 0 ? 0 : error;
  }
  int syncFile(int handle) override {
    return faultOr(DiskCall::SyncFile, [&] { return real_.syncFile(handle); });
  }
  int cutTo(int handle, int64_t length) override {
    return faultOr(DiskCall::CutTo, [&] { return real_.cutTo(handle, length); });
  }
  int closeFile(int handle) override {
    const int error = fault(DiskCall::CloseFile);
    const int closed = real_.closeFile(handle);
    return error != 0 ? error : closed;
  }
  int syncToDisk(const std::string& path) override {
    synced.push_back(path);
    // The flush itself is left out: a throw-away folder needs none.
    return fault(DiskCall::SyncToDisk);
  }
  int rename(const std::string& from, const std::string& to) override {
    return faultOr(DiskCall::Rename, [&] { return real_.rename(from, to); });
  }
  int hardLink(const std::string& file, const std::string& name) override {
    return faultOr(DiskCall::HardLink, [&] { return real_.hardLink(file, name); });
  }
  int remove(const std::string& path) override {
    return faultOr(DiskCall::Remove, [&] { return real_.remove(path); });
  }

 private:
  // The fault staged for this call, or else what the real call gives.
  int faultOr(DiskCall call, const std::function<int()>& real) {
    const int error = fault(call);
    return error != 0 ? error : real();
  }
  int fault(DiskCall call) {
    ++calls[call];
    Faults& f = faults[call];
    if (f.next.empty()) return f.after;
    const int error = f.next.front();
    f.next.pop_front();
    return error;
  }

  PosixLogDisk real_;
};

class FakeServices : public Services {
 public:
  FakeServices(const VirtualTime& time, int widthPx = 1024, int heightPx = 768,
               int64_t startMs = 12 * 3600 * 1000)
      : wall(time, startMs) {
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
  // Carries out one of the core's requests, as the platform would: notes it,
  // and for a box runs what the test does while it is open.
  void carryOut(const Request& request) {
    if (const auto* box = std::get_if<MessageBox>(&request)) boxes.push_back(box->title + ": " + box->text);
    if (const auto* error = std::get_if<RunTimeErrorBox>(&request))
      errors.push_back(std::to_string(error->number) + " " + error->message);
    if (const auto* address = std::get_if<OpenAddress>(&request)) opened.push_back(address->address);
    if (const auto* line = std::get_if<TellUser>(&request)) told.push_back(line->line);
    if (isBox(request) && whileBoxOpen) whileBoxOpen();
  }

  std::vector<std::string> told;
  // What happens while a box (a message or a run-time error) is open, as
  // events the platform would deliver meanwhile.
  std::function<void()> whileBoxOpen;

  VirtualWallClock wall;
  Extent screen;
  std::string folder = std::filesystem::temp_directory_path().string();
  std::vector<std::string> boxes, opened, errors;
};

}  // namespace tw::test
