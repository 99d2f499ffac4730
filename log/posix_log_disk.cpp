#include "log/posix_log_disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace tw {
namespace {

namespace fs = std::filesystem;

// The permissions, less the user's umask, of the files the log makes: a fresh
// log any user may be given to read and write, as a program's new file is;
// one made at the end of a run, readable by all and written by its owner.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kLogMode = 0644;

// Reads from a descriptor until `bytes` is full or the file ends.
int readFully(int fd, char* bytes, size_t size, size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, bytes + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return 0;
}

int syncPath(const char* path, int flags) {
  const int fd = ::open(path, flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  (void)::close(fd);
  return error;
}

int errorOf(const std::error_code& ec) { return ec ? ec.value() : 0; }

}  // namespace

LogEntry PosixLogDisk::entryAt(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    return fs::symlink_status(path, ec).type() == fs::file_type::not_found ? LogEntry::Missing
                                                                           : LogEntry::Other;
  }
  if (ec) return LogEntry::Unknown;
  return status.type() == fs::file_type::regular ? LogEntry::Regular : LogEntry::Other;
}

int PosixLogDisk::listFolder(const std::string& folder, std::vector<std::string>& names) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  return errorOf(ec);
}

int PosixLogDisk::plainFileSize(const std::string& path, int64_t& size) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return EINVAL;
  size = static_cast<int64_t>(info.st_size);
  return 0;
}

bool PosixLogDisk::sameFile(const std::string& first, const std::string& second) {
  std::error_code ec;
  return fs::equivalent(first, second, ec) && !ec;
}

int PosixLogDisk::readHead(const std::string& path, size_t limit, std::string& head, bool& more) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  head.assign(limit, '\0');
  size_t got = 0;
  int error = readFully(fd, head.data(), limit, got);
  head.resize(got);
  more = false;
  if (error == 0 && got == limit) {
    char next = 0;
    size_t beyond = 0;
    error = readFully(fd, &next, 1, beyond);
    more = beyond > 0;
  }
  (void)::close(fd);
  return error;
}

int PosixLogDisk::readLastByte(const std::string& path, char& last) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  size_t got = 0;
  int error = ::lseek(fd, -1, SEEK_END) < 0 ? errno : readFully(fd, &last, 1, got);
  if (error == 0 && got == 0) error = ENODATA;
  (void)::close(fd);
  return error;
}

std::unique_ptr<std::istream> PosixLogDisk::openToRead(const std::string& path) {
  auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!*in) return nullptr;
  return in;
}

std::string PosixLogDisk::randomDigits(int count) {
  std::random_device entropy;
  std::uniform_int_distribution<unsigned> digit(0, 15);
  std::string digits;
  for (int k = 0; k < count; ++k) digits += "0123456789abcdef"[digit(entropy)];
  return digits;
}

int PosixLogDisk::createNew(const std::string& path, int& handle) {
  handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, kNewFileMode);
  return handle < 0 ? errno : 0;
}

int PosixLogDisk::openToAppend(const std::string& path, int& handle) {
  // O_NONBLOCK: a FIFO put in the log's place meanwhile never blocks the end.
  handle = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, kLogMode);
  if (handle < 0) return errno;
  struct stat info {};
  const int error = ::fstat(handle, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
  if (error != 0) {
    ::close(handle);
    handle = -1;
  }
  return error;
}

int PosixLogDisk::fileLength(int handle, int64_t& length) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) return errno;
  length = static_cast<int64_t>(info.st_size);
  return 0;
}

int PosixLogDisk::writeSome(int handle, std::string_view bytes, size_t& written) {
  written = 0;
  const ssize_t n = ::write(handle, bytes.data(), bytes.size());
  if (n < 0) return errno;
  written = static_cast<size_t>(n);
  return 0;
}

int PosixLogDisk::syncFile(int handle) { return ::fsync(handle) == 0 ? 0 : errno; }

int PosixLogDisk::cutTo(int handle, int64_t length) {
  return ::ftruncate(handle, static_cast<off_t>(length)) == 0 ? 0 : errno;
}

int PosixLogDisk::closeFile(int handle) { return ::close(handle) == 0 ? 0 : errno; }

int PosixLogDisk::syncToDisk(const std::string& path) {
  const int fileError = syncPath(path.c_str(), O_RDONLY);
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  const int folderError = syncPath(folder.c_str(), O_RDONLY | O_DIRECTORY);
  return fileError != 0 ? fileError : folderError;
}

int PosixLogDisk::rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int PosixLogDisk::hardLink(const std::string& file, const std::string& name) {
  return ::link(file.c_str(), name.c_str()) == 0 ? 0 : errno;
}

int PosixLogDisk::remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace tw
