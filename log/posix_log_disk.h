// The log's files for real, through POSIX and the standard library. It lives
// beside the log rather than in the platform: it needs nothing of Qt, and the
// tests' stand-in disk runs these very calls, with its faults between them.
#pragma once

#include "log/log_disk.h"

namespace tw {

class PosixLogDisk : public LogDisk {
 public:
  LogEntry entryAt(const std::string& path) override;
  int listFolder(const std::string& folder, std::vector<std::string>& names) override;
  int plainFileSize(const std::string& path, int64_t& size) override;
  bool sameFile(const std::string& first, const std::string& second) override;
  int readHead(const std::string& path, size_t limit, std::string& head, bool& more) override;
  int readLastByte(const std::string& path, char& last) override;
  std::unique_ptr<std::istream> openToRead(const std::string& path) override;
  std::string randomDigits(int count) override;
  int createNew(const std::string& path, int& handle) override;
  int openToAppend(const std::string& path, int& handle) override;
  int fileLength(int handle, int64_t& length) override;
  int writeSome(int handle, std::string_view bytes, size_t& written) override;
  int syncFile(int handle) override;
  int cutTo(int handle, int64_t length) override;
  int closeFile(int handle) override;
  int syncToDisk(const std::string& path) override;
  int rename(const std::string& from, const std::string& to) override;
  int hardLink(const std::string& file, const std::string& name) override;
  int remove(const std::string& path) override;
};

}  // namespace tw
