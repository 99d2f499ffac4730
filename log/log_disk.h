// Everything the log does to files, and the only way it reaches them: the
// real files (PosixLogDisk) for the saver, and a stand-in that plays a full,
// failing or interrupting disk at any step, at start-up and at the end of a
// run, for tests. A call that can fail returns 0 or the error number (errno)
// of its failure. A handle is an open file's, from createNew or openToAppend,
// until closeFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// What a path names, found without opening it: a FIFO or a device is never
// opened, since opening one can block for ever. A symlink to nothing (a log on
// a drive not mounted now) counts as Other: it is the user's and stays.
enum class LogEntry { Missing, Regular, Other, Unknown };

class LogDisk {
 public:
  virtual ~LogDisk() = default;

  // --- Looking, without opening anything.
  virtual LogEntry entryAt(const std::string& path) = 0;
  // The names in a folder; after a failure part way, those listed until then.
  virtual int listFolder(const std::string& folder, std::vector<std::string>& names) = 0;
  // The size of a plain file that the path itself names; anything else, a
  // symlink to a plain file included, fails (EINVAL).
  virtual int plainFileSize(const std::string& path, int64_t& size) = 0;
  // Whether two paths name one and the same file.
  virtual bool sameFile(const std::string& first, const std::string& second) = 0;

  // --- Reading.
  // Up to `limit` bytes from the file's start; `more` says whether the file
  // goes on beyond them.
  virtual int readHead(const std::string& path, size_t limit, std::string& head, bool& more) = 0;
  // The file's last byte; an empty file has none and fails.
  virtual int readLastByte(const std::string& path, char& last) = 0;
  // The whole file as a stream, for the report; none when it cannot be opened.
  virtual std::unique_ptr<std::istream> openToRead(const std::string& path) = 0;

  // --- Writing.
  // Random lowercase hexadecimal digits, for a name no one can guess.
  virtual std::string randomDigits(int count) = 0;
  // Creates a file for writing under a name that nothing holds yet: a name
  // taken by anything, a symlink included, fails with EEXIST, and nothing is
  // followed.
  virtual int createNew(const std::string& path, int& handle) = 0;
  // Opens a file for writing at its end, created when missing, without
  // blocking; anything but a plain file fails (EINVAL).
  virtual int openToAppend(const std::string& path, int& handle) = 0;
  virtual int fileLength(int handle, int64_t& length) = 0;
  // Writes some of the bytes at the file's end: `written` says how many,
  // possibly fewer than asked when it succeeds.
  virtual int writeSome(int handle, std::string_view bytes, size_t& written) = 0;
  // Pushes an open file's content to the disk.
  virtual int syncFile(int handle) = 0;
  virtual int cutTo(int handle, int64_t length) = 0;
  virtual int closeFile(int handle) = 0;
  // Pushes a written file, and the folder entry that names it, to the disk.
  virtual int syncToDisk(const std::string& path) = 0;

  // --- Names.
  // Moves a name over another, replacing it.
  virtual int rename(const std::string& from, const std::string& to) = 0;
  // Gives a file a second name; never replaces anything (EEXIST).
  virtual int hardLink(const std::string& file, const std::string& name) = 0;
  // Removes a file's name.
  virtual int remove(const std::string& path) = 0;
};

}  // namespace tw
